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

LogoPicture::~LogoPicture() {
  FinishBackgroundLoad();
}

bool LogoPicture::Load(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  Forget(instance, name, type);
  return Open();
}

void LogoPicture::Forget(HINSTANCE instance, const wchar_t* name, const wchar_t* type) {
  FinishBackgroundLoad();
  instance_ = instance;
  name_ = name;
  type_ = type;
  factory_.Reset();
  source_.Reset();
  source_size_ = {};
  drawn_size_ = {};
  bitmap_.reset();
}

bool LogoPicture::Open() {
  OpenedPicture opened;
  if (instance_ == nullptr || !OpenPicture(instance_, name_.c_str(), type_.c_str(), opened)) {
    return false;
  }
  factory_ = opened.factory;
  source_ = opened.source;
  source_size_ = opened.size;
  return true;
}

void LogoPicture::LoadInBackground(HINSTANCE instance, const wchar_t* name, const wchar_t* type,
                                   PixelSize expectedBox) {
  Forget(instance, name, type);
  expected_box_ = expectedBox;
  // Without a thread, the first Fit opens the picture here instead.
  worker_.reset(CreateThread(nullptr, 0, &LogoPicture::BackgroundLoad, this, 0, nullptr));
}

DWORD WINAPI LogoPicture::BackgroundLoad(void* param) {
  // Until the owner waits for this thread, only this thread touches the picture's members.
  auto& self = *static_cast<LogoPicture*>(param);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    // The COM objects stay on this thread: only the size and the bitmap are handed over.
    OpenedPicture opened;
    if (OpenPicture(self.instance_, self.name_.c_str(), self.type_.c_str(), opened)) {
      self.source_size_ = opened.size;
      const PixelSize size = FitInside(opened.size, self.expected_box_);
      self.bitmap_ = RenderPicture(opened, size);
      if (self.bitmap_) {
        self.drawn_size_ = size;
      }
    }
  }
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}

void LogoPicture::FinishBackgroundLoad() {
  if (worker_) {
    WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
  }
}

void LogoPicture::Fit(PixelSize box) {
  FinishBackgroundLoad();
  if (bitmap_ && FitInside(source_size_, box) == drawn_size_) {
    return;
  }
  bitmap_.reset();
  drawn_size_ = {};
  if (!source_ && !Open()) {
    return;
  }
  const PixelSize size = FitInside(source_size_, box);
  bitmap_ = RenderPicture({factory_, source_, source_size_}, size);
  if (bitmap_) {
    drawn_size_ = size;
  }
}

void LogoPicture::Draw(HDC dc, const RECT& box) {
  FinishBackgroundLoad();
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
