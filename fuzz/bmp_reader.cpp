// Fuzzes the BMP decoder with whole files.
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTextureImage image;
  TLoadFailure failure;
  CheckDecodeResult(DecodeBmp("fuzz.bmp", data, size, image, failure), image, failure);
  return 0;
}
