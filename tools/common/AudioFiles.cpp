#include "common/AudioFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The stream serial number every Ogg page of our files carries.
constexpr uint32_t kOggSerial = 0x4D4F4C54;

// The CRC of Ogg pages: polynomial 0x04C11DB7, not reflected, starting from 0.
uint32_t OggCrc(const uint8_t* data, size_t size) {
  uint32_t crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint32_t>(data[i]) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// The encoder picks a random stream serial number; giving every page the same fixed one (and
// its CRC again) makes the same sound give the same file. False when the file is not a whole
// sequence of Ogg pages.
bool FixOggSerial(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  constexpr size_t kHeader = 27;  // up to and including the segment count
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < kHeader || bytes[at] != 'O' || bytes[at + 1] != 'g' ||
        bytes[at + 2] != 'g' || bytes[at + 3] != 'S')
      return false;
    const size_t segments = bytes[at + 26];
    if (bytes.size() - at - kHeader < segments) return false;
    size_t body = 0;
    for (size_t k = 0; k < segments; ++k) body += bytes[at + kHeader + k];
    const size_t pageSize = kHeader + segments + body;
    if (bytes.size() - at < pageSize) return false;
    uint8_t* page = &bytes[at];
    for (int k = 0; k < 4; ++k) {
      page[14 + k] = static_cast<uint8_t>(kOggSerial >> (8 * k));
      page[22 + k] = 0;
    }
    const uint32_t crc = OggCrc(page, pageSize);
    for (int k = 0; k < 4; ++k) page[22 + k] = static_cast<uint8_t>(crc >> (8 * k));
    at += pageSize;
  }
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

bool WriteOggVorbis(const std::string& fileName, const TStereoAudio& audio, double quality) {
  if (audio.Left.size() != audio.Right.size() || audio.SampleRate <= 0) return false;
  SF_INFO info{};
  info.samplerate = audio.SampleRate;
  info.channels = 2;
  info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  SNDFILE* file = sf_open(fileName.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  double level = std::clamp(quality, 0.0, 1.0);
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &level, sizeof level);
  // Frames go to the encoder in blocks, interleaved left/right.
  constexpr size_t kBlock = 4096;
  std::vector<float> interleaved(kBlock * 2);
  bool ok = true;
  for (size_t start = 0; start < audio.Left.size() && ok; start += kBlock) {
    const size_t count = std::min(kBlock, audio.Left.size() - start);
    for (size_t i = 0; i < count; ++i) {
      interleaved[2 * i] = audio.Left[start + i];
      interleaved[2 * i + 1] = audio.Right[start + i];
    }
    ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(count)) ==
         static_cast<sf_count_t>(count);
  }
  return sf_close(file) == 0 && ok && FixOggSerial(fileName);
}

bool ReadAudioFile(const std::string& fileName, TStereoAudio& audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(fileName.c_str(), SFM_READ, &info);
  if (!file) return false;
  if (info.channels <= 0 || info.samplerate <= 0) {
    sf_close(file);
    return false;
  }
  const size_t channels = static_cast<size_t>(info.channels);
  audio = TStereoAudio();
  audio.SampleRate = info.samplerate;
  constexpr size_t kBlock = 4096;
  std::vector<float> block(kBlock * channels);
  for (;;) {
    const sf_count_t got = sf_readf_float(file, block.data(), static_cast<sf_count_t>(kBlock));
    if (got <= 0) break;
    for (size_t i = 0; i < static_cast<size_t>(got); ++i) {
      audio.Left.push_back(block[i * channels]);
      audio.Right.push_back(block[i * channels + (channels > 1 ? 1 : 0)]);
    }
  }
  sf_close(file);
  return true;
}
