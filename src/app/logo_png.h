// The logo's picture read without the system's codecs: a PNG of 8-bit RGBA rows, not
// interlaced, decoded and scaled down in one pass into premultiplied BGRA, the layout that GDI
// blends. Opening the system's codec library costs more than the whole decoding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "app/logo_fit.h"

// The picture's size from its header; nothing unless it is a PNG this reader decodes.
std::optional<PixelSize> ReadPngSize(std::span<const std::uint8_t> png);

// Decodes the picture and scales it to `size` (no larger than the picture) by averaging the
// area of the picture that each pixel covers. Writes size.width * size.height pixels, top row
// first, as premultiplied B, G, R, A bytes. False when the picture is malformed or `out` has
// another length.
bool DecodePngScaled(std::span<const std::uint8_t> png, PixelSize size,
                     std::span<std::uint8_t> out);

// Inflates a zlib stream (RFC 1950 around RFC 1951) into `out`, which it must fill exactly;
// false on anything malformed, a wrong checksum, or output of another length.
bool InflateZlib(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
