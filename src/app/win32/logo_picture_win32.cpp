#include "app/win32/logo_picture_win32.h"

#include <optional>

#include "app/logo_png.h"
#include "app/win32/window_helpers_win32.h"

namespace {

// The picture decoded at this size into a bitmap GDI can draw; no bitmap on failure.
UniqueGdiObject RenderPicture(std::span<const std::uint8_t> png, PixelSize size) {
  if (png.empty() || size.width <= 0 || size.height <= 0) {
    return {};
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.width;
  info.bmiHeader.biHeight = -size.height;  // top-down, like the picture's rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) {
    return {};
  }
  const std::span<std::uint8_t> pixels(
      static_cast<std::uint8_t*>(bits),
      static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4);
  if (!DecodePngScaled(png, size, pixels)) {
    return {};
  }
  return bitmap;
}

}  // namespace

bool LogoPicture::Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  png_ = {};
  source_size_ = {};
  drawn_size_ = {};
  bitmap_.reset();
  HRSRC found = FindResourceW(instance, name, type);
  if (found == nullptr) {
    return false;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(instance, found)));
  const DWORD size = SizeofResource(instance, found);
  if (bytes == nullptr || size == 0) {
    return false;
  }
  const std::span<const std::uint8_t> png(bytes, size);
  const std::optional<PixelSize> pictureSize = ReadPngSize(png);
  if (!pictureSize) {
    return false;
  }
  png_ = png;
  source_size_ = *pictureSize;
  return true;
}

void LogoPicture::Fit(PixelSize box) {
  const PixelSize size = FitInside(source_size_, box);
  if (bitmap_ && size == drawn_size_) {
    return;
  }
  bitmap_ = RenderPicture(png_, size);
  drawn_size_ = bitmap_ ? size : PixelSize{};
}

void LogoPicture::Draw(HDC dc, const RECT& box) {
  FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
  if (!bitmap_) {
    return;
  }
  UniqueAny<MemoryDcTraits> memory(CreateCompatibleDC(dc));
  ScopedSelect select(memory.get(), bitmap_.get());
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  // Top-left of the box, not centred.
  GdiAlphaBlend(dc, box.left, box.top, drawn_size_.width, drawn_size_.height, memory.get(), 0, 0,
                drawn_size_.width, drawn_size_.height, blend);
}
