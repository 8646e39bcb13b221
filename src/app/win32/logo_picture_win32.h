// The logo of Image1: a PNG resource decoded by the program's own reader, scaled for the box at
// the window's DPI, and drawn with its transparency over the window's background.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "app/logo_fit.h"
#include "win32/unique_handle.h"

class LogoPicture {
 public:
  LogoPicture() = default;
  LogoPicture(const LogoPicture&) = delete;
  LogoPicture& operator=(const LogoPicture&) = delete;

  // Finds the picture and reads its size; false when the resource is missing or is not a PNG
  // the reader decodes (the box then stays empty). The resource stays where the module maps it.
  bool Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type);

  PixelSize SourceSize() const { return source_size_; }
  PixelSize DrawnSize() const { return drawn_size_; }

  // Decodes the picture for a box of this size (in device pixels).
  void Fit(PixelSize box);

  // Fills the box with the window's colour and draws the picture at its top-left corner.
  void Draw(HDC dc, const RECT& box);

 private:
  std::span<const std::uint8_t> png_;
  PixelSize source_size_;
  PixelSize drawn_size_;
  UniqueGdiObject bitmap_;  // the picture at drawn_size_, premultiplied BGRA
};
