// Fuzzes the PNG decoder with whole files, and the content sniffing every loader goes through.
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTextureImage image;
  TLoadFailure failure;
  CheckDecodeResult(DecodePng("fuzz.png", data, size, image, failure), image, failure);
  const TPictureFormat format = PictureFormatOfContent(data, size);
  if (format != TPictureFormat::Unknown)
    CheckDecodeResult(DecodePicture(format, "fuzz.png", data, size, image, failure), image, failure);
  return 0;
}
