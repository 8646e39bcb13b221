#include "app/win32/logo_picture_win32.h"

#include "app/win32/window_helpers_win32.h"

using Microsoft::WRL::ComPtr;

namespace {

// The picture as WIC reads it, converted to premultiplied BGRA; nothing is decoded yet.
struct OpenedPicture {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapSource> source;
  PixelSize size;
};

bool OpenPicture(HINSTANCE instance, const wchar_t* name, const wchar_t* type,
                 OpenedPicture& opened) {
  HRSRC found = FindResourceW(instance, name, type);
  if (found == nullptr) {
    return false;
  }
  HGLOBAL loaded = LoadResource(instance, found);
  const DWORD size = SizeofResource(instance, found);
  auto* bytes = static_cast<BYTE*>(LockResource(loaded));
  if (bytes == nullptr || size == 0) {
    return false;
  }

  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromMemory(bytes, size)) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return false;
  }
  UINT width = 0;
  UINT height = 0;
  converter->GetSize(&width, &height);
  opened.factory = factory;
  // No full-size copy is kept: each fit decodes straight into the drawn size (the stream reads
  // the resource in place), and a fit happens only at creation and on a DPI change.
  opened.source = converter;
  opened.size = {static_cast<int>(width), static_cast<int>(height)};
  return true;
}

// The picture decoded at this size into a bitmap GDI can draw; no bitmap on failure.
UniqueGdiObject RenderPicture(const OpenedPicture& picture, PixelSize size) {
  if (!picture.source || size.width <= 0 || size.height <= 0) {
    return {};
  }
  ComPtr<IWICBitmapSource> pixels = picture.source;
  if (size != picture.size) {
    ComPtr<IWICBitmapScaler> scaler;
    if (FAILED(picture.factory->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(picture.source.Get(), static_cast<UINT>(size.width),
                                  static_cast<UINT>(size.height),
                                  WICBitmapInterpolationModeFant))) {
      return {};
    }
    pixels = scaler;
  }

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.width;
  info.bmiHeader.biHeight = -size.height;  // top-down, like WIC's rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) {
    return {};
  }
  const UINT stride = static_cast<UINT>(size.width) * 4;
  const UINT bytes = stride * static_cast<UINT>(size.height);
  if (FAILED(pixels->CopyPixels(nullptr, stride, bytes, static_cast<BYTE*>(bits)))) {
    return {};
  }
  return bitmap;
}

}  // namespace

bool LogoPicture::Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  factory_.Reset();
  source_.Reset();
  source_size_ = {};
  drawn_size_ = {};
  bitmap_.reset();
  OpenedPicture opened;
  if (!OpenPicture(instance, name, type, opened)) {
    return false;
  }
  factory_ = opened.factory;
  source_ = opened.source;
  source_size_ = opened.size;
  return true;
}

void LogoPicture::Fit(PixelSize box) {
  const PixelSize size = FitInside(source_size_, box);
  if (bitmap_ && size == drawn_size_) {
    return;
  }
  bitmap_ = RenderPicture({factory_, source_, source_size_}, size);
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
