// The system's own PNG codec (WIC), which the tests hold the stored logo against. Needs COM on
// the calling thread.
#pragma once

#include <windows.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <span>
#include <vector>

// The whole picture in `format` (4 bytes a pixel), rows top-down, `width` pixels each; empty
// when the codec cannot read it.
inline std::vector<std::uint8_t> DecodeWithSystemCodec(std::span<const std::uint8_t> png,
                                                       REFWICPixelFormatGUID format, UINT& width) {
  using Microsoft::WRL::ComPtr;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converted;
  UINT height = 0;
  width = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                          static_cast<DWORD>(png.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converted)) ||
      FAILED(converted->Initialize(frame.Get(), format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(converted->GetSize(&width, &height))) {
    return {};
  }
  std::vector<std::uint8_t> pixels(std::size_t{width} * height * 4);
  if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()),
                                   pixels.data()))) {
    return {};
  }
  return pixels;
}
