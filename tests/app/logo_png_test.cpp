// The logo's own PNG reader: zlib streams of each block kind, every row filter, the area
// average in premultiplied colours, and pictures it must refuse.
#include "app/logo_png.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(std::string_view text) {
  return {text.begin(), text.end()};
}

// 300 letters of a skewed alphabet from a fixed sequence, then one long run of "xyz": zlib
// gives it dynamic codes and a match much longer than its distance.
Bytes SkewedText() {
  const std::string_view alphabet = "aaaaaaabbbccd ";
  Bytes text;
  std::uint32_t x = 1;
  for (int i = 0; i < 300; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    text.push_back(static_cast<std::uint8_t>(alphabet[(x >> 16) % alphabet.size()]));
  }
  for (int i = 0; i < 60; ++i) {
    text.insert(text.end(), {'x', 'y', 'z'});
  }
  return text;
}

std::string Repeated(std::string_view text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) {
    all += text;
  }
  return all;
}

// Made by Python's zlib: level 0, level 9 with fixed codes only, level 9.
const Bytes kStored = {
    0x78, 0x01, 0x01, 0x10, 0x00, 0xef, 0xff, 0x53, 0x74, 0x6f, 0x72, 0x65, 0x64, 0x20,
    0x61, 0x73, 0x20, 0x69, 0x74, 0x20, 0x69, 0x73, 0x2e, 0x31, 0x9a, 0x05, 0x8d,
};
const Bytes kFixed = {
    0x78, 0x01, 0x0b, 0x4e, 0xcd, 0x49, 0x4d, 0x2e, 0x51, 0x48, 0x54, 0x48, 0x49,
    0x2d, 0xcb, 0x4c, 0x4e, 0x55, 0x28, 0xc9, 0x57, 0x48, 0x4a, 0x4d, 0xcf, 0xcc,
    0xd3, 0xd3, 0xd3, 0x53, 0x08, 0x1e, 0x06, 0x72, 0x00, 0xd4, 0x80, 0x4a, 0x19,
};
const Bytes kDynamic = {
    0x78, 0xda, 0xd5, 0x8f, 0x81, 0x0d, 0x03, 0x31, 0x08, 0x03, 0x57, 0xf1, 0x6a, 0x06, 0x0f, 0xd1,
    0x76, 0xfa, 0x1e, 0xf0, 0xea, 0x0e, 0x8d, 0xa2, 0x4f, 0x02, 0xc6, 0xe7, 0x6f, 0xdb, 0x52, 0xc9,
    0xb1, 0xe2, 0xe6, 0x55, 0x6c, 0x0a, 0x4d, 0x6d, 0x56, 0x5b, 0x5b, 0x4b, 0x8b, 0xaf, 0x93, 0x6a,
    0x57, 0xa7, 0x4a, 0x7a, 0xa4, 0x7e, 0x56, 0x7e, 0xb7, 0x46, 0xa3, 0x60, 0x30, 0x27, 0x72, 0x0a,
    0xe9, 0xa2, 0xbd, 0x88, 0x0c, 0xc5, 0x3c, 0x2b, 0x63, 0xad, 0xa3, 0xd0, 0x59, 0x3a, 0xba, 0xf5,
    0xa1, 0x6d, 0xcd, 0xfc, 0x00, 0x96, 0xec, 0x15, 0x0f, 0x25, 0x1b, 0x9a, 0x60, 0x2b, 0x3d, 0x0e,
    0x00, 0x6c, 0x32, 0xec, 0x5f, 0x8e, 0xb1, 0xa4, 0xc5, 0x71, 0x42, 0xa6, 0xca, 0x67, 0x37, 0x8d,
    0xd3, 0x11, 0x94, 0xff, 0x99, 0x28, 0x6b, 0xa7, 0x83, 0xcd, 0x24, 0xa8, 0x8d, 0xaa, 0xba, 0xb1,
    0xd7, 0xfb, 0xf3, 0x77, 0xfb, 0x0b, 0xaa, 0x63, 0xbf, 0x6d,
};

TEST(InflateZlib, InflatesEachKindOfBlock) {
  struct Case {
    const char* kind;
    const Bytes& stream;
    Bytes expected;
  };
  const Case cases[] = {
      {"stored", kStored, BytesOf("Stored as it is.")},
      {"fixed codes", kFixed, BytesOf(Repeated("Select a device to begin... ", 8))},
      {"dynamic codes", kDynamic, SkewedText()},
  };
  for (const Case& c : cases) {
    Bytes out(c.expected.size());
    EXPECT_TRUE(InflateZlib(c.stream, out)) << c.kind;
    EXPECT_EQ(out, c.expected) << c.kind;
  }
}

TEST(InflateZlib, RefusesDamagedStreamsAndOutputOfAnotherLength) {
  const std::size_t length = SkewedText().size();
  struct Case {
    const char* fault;
    Bytes stream;
    std::size_t outLength;
  };
  auto changed = [](Bytes stream, std::size_t at, std::uint8_t value) {
    stream[at] = value;
    return stream;
  };
  const Case cases[] = {
      {"cut short", Bytes(kDynamic.begin(), kDynamic.end() - 20), length},
      {"wrong checksum", changed(kDynamic, kDynamic.size() - 1, 0), length},
      {"not deflate", changed(kDynamic, 0, 0x79), length},
      {"preset dictionary", changed(kDynamic, 1, 0xFA), length},
      {"stored length and complement differ", changed(kStored, 5, 0xEE), 16},
      {"a block kind that does not exist", changed(kStored, 2, 0x07), 16},
      {"more output than room", kDynamic, length - 1},
      {"less output than room", kDynamic, length + 1},
      {"empty", Bytes{}, length},
  };
  for (const Case& c : cases) {
    Bytes out(c.outLength);
    EXPECT_FALSE(InflateZlib(c.stream, out)) << c.fault;
  }
}

// 8 x 5 pixels, row y filtered with filter type y (none, sub, up, average, Paeth), made by
// Python from the bytes of StraightPixels below; its Paeth row has a tie between the pixel
// above and the one above left.
const Bytes kFilters = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x05, 0x08, 0x06, 0x00, 0x00, 0x00, 0x78, 0x91, 0xad,
    0x55, 0x00, 0x00, 0x00, 0x6d, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x1d, 0x8d, 0x59, 0x15, 0x05,
    0x31, 0x08, 0x43, 0xf3, 0x16, 0x1d, 0x28, 0x89, 0x84, 0x2a, 0xa8, 0x12, 0x24, 0xa0, 0x64, 0x14,
    0x20, 0x21, 0x4a, 0x50, 0x32, 0x69, 0xe1, 0x83, 0x93, 0x0b, 0x21, 0xc8, 0x64, 0x77, 0x67, 0xc3,
    0x13, 0x60, 0xbb, 0x33, 0xf3, 0x22, 0xa6, 0xc1, 0xe7, 0x08, 0xa8, 0x56, 0x09, 0x86, 0x80, 0x80,
    0x55, 0xf4, 0x11, 0x24, 0xda, 0xf5, 0x05, 0xbd, 0xbb, 0x80, 0x5a, 0x82, 0xe1, 0x29, 0xaa, 0xec,
    0xa8, 0x05, 0xfd, 0xb8, 0x11, 0x11, 0x1c, 0x6c, 0x0c, 0xb1, 0x9f, 0x07, 0xca, 0x99, 0x1a, 0x44,
    0x22, 0x18, 0xf9, 0x87, 0xff, 0x39, 0x42, 0x85, 0x16, 0xfb, 0x0a, 0x65, 0x9d, 0x30, 0xc7, 0x7a,
    0xf1, 0x02, 0x15, 0x11, 0x3d, 0x67, 0x80, 0x07, 0xd2, 0x21, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
    0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

// Channel values of 0, 60, 120 and 180 from a fixed sequence, so that neighbours often agree.
Bytes StraightPixels() {
  Bytes rgba;
  std::uint32_t x = 1;
  for (int i = 0; i < 8 * 5 * 4; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    rgba.push_back(static_cast<std::uint8_t>((x >> 16) % 4 * 60));
  }
  return rgba;
}

// 3 x 2: opaque red, clear green, opaque blue; then a clear row.
const Bytes kRedClearBlue = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x9d, 0x74, 0x66,
    0x1a, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0xcf, 0xc0, 0xf0,
    0x1f, 0x08, 0x81, 0xe0, 0x3f, 0x98, 0x84, 0x03, 0x00, 0x5f, 0xba, 0x04, 0xfc, 0x04, 0x14, 0x41,
    0xd6, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

TEST(LogoPng, UndoesEveryRowFilterAndPremultipliesAtItsOwnSize) {
  ASSERT_EQ(ReadPngSize(kFilters), (PixelSize{8, 5}));
  Bytes out(8 * 5 * 4);
  ASSERT_TRUE(DecodePngScaled(kFilters, {8, 5}, out));
  const Bytes rgba = StraightPixels();
  Bytes expected;
  for (std::size_t at = 0; at < rgba.size(); at += 4) {
    const auto premultiplied = [&](std::size_t c) {
      return static_cast<std::uint8_t>(std::lround(rgba[at + c] * rgba[at + 3] / 255.0));
    };
    expected.insert(expected.end(),
                    {premultiplied(2), premultiplied(1), premultiplied(0), rgba[at + 3]});
  }
  for (std::size_t y = 0; y < 5; ++y) {
    const auto row = [&](const Bytes& pixels) {
      return Bytes(pixels.begin() + static_cast<std::ptrdiff_t>(y * 32),
                   pixels.begin() + static_cast<std::ptrdiff_t>(y * 32 + 32));
    };
    EXPECT_EQ(row(out), row(expected)) << "row " << y;
  }
}

TEST(LogoPng, AveragesTheAreaEachPixelCoversWithoutBleedingClearColours) {
  struct Case {
    PixelSize size;
    Bytes expected;  // B, G, R, A
  };
  const Case cases[] = {
      // Each half takes one outer pixel and half the clear green one: two thirds of the colour
      // and of the cover; then half of that again for the clear row.
      {{2, 1}, {0, 0, 85, 85, 85, 0, 0, 85}},
      {{1, 1}, {43, 0, 43, 85}},  // a sixth of each outer pixel
      {{3, 1}, {0, 0, 128, 128, 0, 0, 0, 0, 128, 0, 0, 128}},
  };
  for (const Case& c : cases) {
    Bytes out(static_cast<std::size_t>(c.size.width * c.size.height * 4));
    ASSERT_TRUE(DecodePngScaled(kRedClearBlue, c.size, out)) << c.size.width;
    EXPECT_EQ(out, c.expected) << c.size.width << "x" << c.size.height;
  }
}

TEST(LogoPng, RefusesPicturesItDoesNotRead) {
  auto changed = [](std::size_t at, std::uint8_t value) {
    Bytes png = kRedClearBlue;
    png[at] = value;
    return png;
  };
  struct Case {
    const char* fault;
    Bytes png;
    PixelSize size;
    std::size_t outLength;
  };
  const Case cases[] = {
      {"not a PNG", changed(1, 'Q'), {2, 1}, 8},
      {"16 bits per channel", changed(24, 16), {2, 1}, 8},
      {"no alpha", changed(25, 2), {2, 1}, 8},
      {"interlaced", changed(28, 1), {2, 1}, 8},
      {"no end", Bytes(kRedClearBlue.begin(), kRedClearBlue.end() - 12), {2, 1}, 8},
      {"chunks out of step", changed(36, 0x10), {2, 1}, 8},
      {"larger than the picture", kRedClearBlue, {4, 2}, 32},
      {"no size", kRedClearBlue, {0, 0}, 0},
      {"room for another size", kRedClearBlue, {2, 1}, 12},
  };
  for (const Case& c : cases) {
    Bytes out(c.outLength);
    EXPECT_FALSE(DecodePngScaled(c.png, c.size, out)) << c.fault;
  }
  EXPECT_FALSE(ReadPngSize(changed(24, 16)).has_value());
}

TEST(LogoPng, TheStoredLogoIsReadAndScaledForItsBox) {
  std::ifstream file(VTF_LOGO_PATH, std::ios::binary);
  const Bytes png{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_EQ(ReadPngSize(png), (PixelSize{1024, 1024}));
  Bytes out(121 * 121 * 4);
  ASSERT_TRUE(DecodePngScaled(png, {121, 121}, out));
  const auto alphaAt = [&](std::size_t x, std::size_t y) { return out[(y * 121 + x) * 4 + 3]; };
  // Clear corners, an opaque middle, and the rounded corner's edge partly covered.
  EXPECT_EQ(alphaAt(0, 0), 0);
  EXPECT_EQ(alphaAt(120, 120), 0);
  EXPECT_EQ(alphaAt(60, 12), 255);
  EXPECT_EQ(alphaAt(0, 60), 255);
  int partial = 0;
  for (std::size_t i = 0; i < 121 * 121; ++i) {
    const std::uint8_t* p = out.data() + i * 4;
    EXPECT_LE(std::max({p[0], p[1], p[2]}), p[3]);  // premultiplied
    partial += p[3] > 0 && p[3] < 255 ? 1 : 0;
  }
  EXPECT_GT(partial, 0);
}

}  // namespace
