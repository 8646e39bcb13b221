// The logo of Image1: a PNG resource decoded with WIC, scaled for the box at the window's DPI,
// and drawn with its transparency over the window's background.
#pragma once

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include "app/win32/logo_fit.h"
#include "win32/unique_handle.h"

class LogoPicture {
 public:
  LogoPicture() = default;
  LogoPicture(const LogoPicture&) = delete;
  LogoPicture& operator=(const LogoPicture&) = delete;

  // Opens the picture; false when the resource is missing or WIC cannot read it (the box then
  // stays empty). Needs COM on this thread.
  bool Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type);

  PixelSize SourceSize() const { return source_size_; }
  PixelSize DrawnSize() const { return drawn_size_; }

  // Prepares the picture for a box of this size (in device pixels).
  void Fit(PixelSize box);

  // Fills the box with the window's colour and draws the picture at its top-left corner.
  void Draw(HDC dc, const RECT& box);

 private:
  Microsoft::WRL::ComPtr<IWICImagingFactory> factory_;
  Microsoft::WRL::ComPtr<IWICBitmapSource> source_;  // 32-bit premultiplied BGRA
  PixelSize source_size_;
  PixelSize drawn_size_;
  UniqueGdiObject bitmap_;  // the picture at drawn_size_
};
