#include "common/TinyModule.h"

#include <cstdint>

namespace {

void PutWord(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value >> 8);
  bytes[at + 1] = static_cast<char>(value & 0xFF);
}

// One pattern cell of channel 1: sample number, Amiga period, effect and its parameter.
void PutCell(std::string& bytes, size_t patternAt, int row, int sample, uint16_t period,
             int effect, int parameter) {
  const size_t at = patternAt + static_cast<size_t>(row) * 16;
  bytes[at] = static_cast<char>((sample & 0xF0) | (period >> 8));
  bytes[at + 1] = static_cast<char>(period & 0xFF);
  bytes[at + 2] = static_cast<char>(((sample & 0x0F) << 4) | effect);
  bytes[at + 3] = static_cast<char>(parameter);
}

}  // namespace

std::string MakeTinyModule() {
  constexpr size_t kSampleHeaders = 20;
  constexpr size_t kOrders = kSampleHeaders + 31 * 30;
  constexpr size_t kPattern = kOrders + 2 + 128 + 4;
  constexpr size_t kSampleData = kPattern + 64 * 4 * 4;
  constexpr uint16_t kSampleWords = 16;
  std::string bytes(kSampleData + kSampleWords * 2, '\0');
  bytes.replace(0, 4, "tiny");
  // Sample 1: 32 bytes, full volume, looped whole.
  bytes.replace(kSampleHeaders, 6, "square");
  PutWord(bytes, kSampleHeaders + 22, kSampleWords);
  bytes[kSampleHeaders + 25] = 64;
  PutWord(bytes, kSampleHeaders + 26, 0);
  PutWord(bytes, kSampleHeaders + 28, kSampleWords);
  bytes[kOrders] = 1;                     // one order, playing pattern 0
  bytes[kOrders + 1] = 127;
  bytes.replace(kOrders + 2 + 128, 4, "M.K.");
  PutCell(bytes, kPattern, 0, 1, 428, 0, 0);    // C on row 0
  PutCell(bytes, kPattern, 16, 0, 0, 0xC, 0);   // volume 0 at row 16
  PutCell(bytes, kPattern, 32, 1, 428, 0, 0);   // C again at row 32
  PutCell(bytes, kPattern, 63, 0, 0, 0xB, 0);   // jump back to order 0
  for (size_t i = 0; i < kSampleWords * 2u; ++i)
    bytes[kSampleData + i] = static_cast<char>(i < kSampleWords ? 100 : -100);
  return bytes;
}
