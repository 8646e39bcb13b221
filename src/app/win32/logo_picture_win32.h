// The logo of Image1: a PNG resource decoded with WIC, scaled for the box at the window's DPI,
// and drawn with its transparency over the window's background.
#pragma once

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <string>

#include "app/win32/logo_fit.h"
#include "win32/unique_handle.h"

class LogoPicture {
 public:
  LogoPicture() = default;
  ~LogoPicture();  // waits for a decoding still under way
  LogoPicture(const LogoPicture&) = delete;
  LogoPicture& operator=(const LogoPicture&) = delete;

  // Opens the picture on this thread; false when the resource is missing or WIC cannot read
  // it (the box then stays empty). Needs COM on this thread.
  bool Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type);

  // Opens the picture and prepares it for a box of this size on a thread of its own, while
  // the window is being built; the next Fit waits for it. Decoding the picture is the
  // longest step of the window's start, and it needs nothing from the window but the box.
  void LoadInBackground(HINSTANCE instance, const wchar_t* name, const wchar_t* type,
                        PixelSize expectedBox);

  // Read after Load or Fit: a decoding under way owns them until then.
  PixelSize SourceSize() const { return source_size_; }
  PixelSize DrawnSize() const { return drawn_size_; }

  // Prepares the picture for a box of this size (in device pixels). After LoadInBackground,
  // a box other than the expected one opens the picture again on this thread (COM needed).
  void Fit(PixelSize box);

  // Fills the box with the window's colour and draws the picture at its top-left corner
  // (waiting for a decoding still under way, should a paint come before the first Fit).
  void Draw(HDC dc, const RECT& box);

 private:
  // Waits for a decoding under way, drops the picture, and remembers where a new one comes from.
  void Forget(HINSTANCE instance, const wchar_t* name, const wchar_t* type);
  // Opens the remembered picture on this thread.
  bool Open();
  static DWORD WINAPI BackgroundLoad(void* self);
  void FinishBackgroundLoad();

  HINSTANCE instance_ = nullptr;
  std::wstring name_;
  std::wstring type_;
  Microsoft::WRL::ComPtr<IWICImagingFactory> factory_;
  Microsoft::WRL::ComPtr<IWICBitmapSource> source_;  // 32-bit premultiplied BGRA
  PixelSize source_size_;
  PixelSize drawn_size_;
  UniqueGdiObject bitmap_;  // the picture at drawn_size_

  // The thread of LoadInBackground, and what it leaves: a size and a bitmap, no COM object.
  UniqueHandle worker_;
  PixelSize expected_box_;
};
