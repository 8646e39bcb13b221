// How the picture box fits a picture: at its own size when it fits, else scaled down keeping
// its aspect ratio to the largest size that fits, the computed side truncated to whole pixels.
#pragma once

struct PixelSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

constexpr PixelSize FitInside(PixelSize picture, PixelSize box) {
  if (picture.width <= 0 || picture.height <= 0 || box.width <= 0 || box.height <= 0) {
    return {};
  }
  if (picture.width <= box.width && picture.height <= box.height) {
    return picture;
  }
  // Compare box.w / pic.w with box.h / pic.h without rounding: the smaller ratio wins.
  const long long byWidth = static_cast<long long>(box.width) * picture.height;
  const long long byHeight = static_cast<long long>(box.height) * picture.width;
  if (byWidth <= byHeight) {
    return {box.width, static_cast<int>(byWidth / picture.width)};
  }
  return {static_cast<int>(byHeight / picture.height), box.height};
}
