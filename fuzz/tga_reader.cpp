// Fuzzes the TGA decoder with whole files.
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTextureImage image;
  TLoadFailure failure;
  CheckDecodeResult(DecodeTga("fuzz.tga", data, size, image, failure), image, failure);
  return 0;
}
