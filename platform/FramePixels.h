// Pixel work on frames read back from the renderer, all RGB rows top row first: the box filter
// that brings a supersampled frame down, placing a picture in a larger one, and the average of
// several frames (motion blur).
#pragma once
#include <cstdint>
#include <vector>

// Averages each factor x factor block of a (width x factor) x (height x factor) picture into
// one pixel of a width x height picture, rounding to nearest.
void BoxFilterRGB(const uint8_t* source, int32_t width, int32_t height, int32_t factor,
                  std::vector<uint8_t>& result);
// Copies a contentWidth x contentHeight picture into an outputWidth x outputHeight one at
// (x, y), black elsewhere. The picture must fit.
void PlaceRGB(const uint8_t* content, int32_t contentWidth, int32_t contentHeight, int32_t x,
              int32_t y, int32_t outputWidth, int32_t outputHeight, std::vector<uint8_t>& output);

// The mean of frames of one size, rounded to nearest.
class TFrameAverage {
 public:
  // Adds one frame; a frame of another size than the first starts the sum again.
  void Add(const uint8_t* rgb, int32_t width, int32_t height);
  // Frames added since the last Take.
  int32_t Count() const { return count_; }
  // The mean of the frames added; the sum starts again.
  void Take(std::vector<uint8_t>& rgb, int32_t& width, int32_t& height);

 private:
  std::vector<uint32_t> sum_;
  int32_t width_ = 0, height_ = 0, count_ = 0;
};
