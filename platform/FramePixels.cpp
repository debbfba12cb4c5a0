#include "platform/FramePixels.h"

#include <algorithm>
#include <cstring>

void BoxFilterRGB(const uint8_t* source, int32_t width, int32_t height, int32_t factor,
                  std::vector<uint8_t>& result) {
  const size_t outWidth = static_cast<size_t>(std::max(width, 0));
  const size_t outHeight = static_cast<size_t>(std::max(height, 0));
  result.resize(outWidth * outHeight * 3);
  if (factor <= 1) {
    std::memcpy(result.data(), source, result.size());
    return;
  }
  const size_t n = static_cast<size_t>(factor);
  const size_t sourceRow = outWidth * n * 3;
  const uint32_t samples = static_cast<uint32_t>(n * n);
  std::vector<uint32_t> sums(outWidth * 3);
  for (size_t y = 0; y < outHeight; ++y) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (size_t row = 0; row < n; ++row) {
      const uint8_t* line = source + (y * n + row) * sourceRow;
      for (size_t x = 0; x < outWidth; ++x) {
        const uint8_t* block = line + x * n * 3;
        uint32_t* sum = &sums[x * 3];
        for (size_t k = 0; k < n * 3; k += 3) {
          sum[0] += block[k];
          sum[1] += block[k + 1];
          sum[2] += block[k + 2];
        }
      }
    }
    uint8_t* out = &result[y * outWidth * 3];
    for (size_t i = 0; i < outWidth * 3; ++i)
      out[i] = static_cast<uint8_t>((sums[i] + samples / 2) / samples);
  }
}

void PlaceRGB(const uint8_t* content, int32_t contentWidth, int32_t contentHeight, int32_t x,
              int32_t y, int32_t outputWidth, int32_t outputHeight, std::vector<uint8_t>& output) {
  output.assign(static_cast<size_t>(outputWidth) * static_cast<size_t>(outputHeight) * 3, 0);
  const size_t row = static_cast<size_t>(contentWidth) * 3;
  const size_t outputRow = static_cast<size_t>(outputWidth) * 3;
  for (int32_t r = 0; r < contentHeight; ++r)
    std::memcpy(&output[static_cast<size_t>(y + r) * outputRow + static_cast<size_t>(x) * 3],
                content + static_cast<size_t>(r) * row, row);
}

void TFrameAverage::Add(const uint8_t* rgb, int32_t width, int32_t height) {
  if (width != width_ || height != height_ || count_ == 0) {
    width_ = width;
    height_ = height;
    count_ = 0;
    sum_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0u);
  }
  for (size_t i = 0; i < sum_.size(); ++i) sum_[i] += rgb[i];
  ++count_;
}

void TFrameAverage::Take(std::vector<uint8_t>& rgb, int32_t& width, int32_t& height) {
  width = width_;
  height = height_;
  rgb.resize(sum_.size());
  const uint32_t count = static_cast<uint32_t>(std::max(count_, 1));
  for (size_t i = 0; i < sum_.size(); ++i)
    rgb[i] = static_cast<uint8_t>((sum_[i] + count / 2) / count);
  count_ = 0;
}
