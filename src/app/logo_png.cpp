#include "app/logo_png.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// ---- Inflate ---------------------------------------------------------------------------------

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}

  // The next `count` bits (at most 24), first bit lowest; false past the end.
  bool Bits(int count, std::uint32_t& value) {
    while (held_ < count) {
      if (next_ >= in_.size()) {
        return false;
      }
      buffer_ |= std::uint32_t{in_[next_++]} << held_;
      held_ += 8;
    }
    value = buffer_ & ((std::uint32_t{1} << count) - 1);
    buffer_ >>= count;
    held_ -= count;
    return true;
  }

  void AlignToByte() {
    buffer_ = 0;
    held_ = 0;
  }

  // Whole bytes after AlignToByte.
  std::span<const std::uint8_t> TakeBytes(std::size_t count) {
    if (count > in_.size() - next_) {
      return {};
    }
    const std::span<const std::uint8_t> taken = in_.subspan(next_, count);
    next_ += count;
    return taken;
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t next_ = 0;
  std::uint32_t buffer_ = 0;
  int held_ = 0;
};

constexpr std::size_t kMaxCodeBits = 15;

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Huffman {
  std::array<std::uint16_t, kMaxCodeBits + 1> count{};
  std::array<std::uint16_t, 288> symbol{};

  // False when the lengths ask for more codes than there are.
  bool Build(const std::uint8_t* lengths, int symbols) {
    count.fill(0);
    for (int s = 0; s < symbols; ++s) {
      ++count[lengths[s]];
    }
    int left = 1;
    for (std::size_t bits = 1; bits <= kMaxCodeBits; ++bits) {
      left = left * 2 - count[bits];
      if (left < 0) {
        return false;
      }
    }
    std::array<std::uint16_t, kMaxCodeBits + 1> offset{};
    for (std::size_t bits = 1; bits < kMaxCodeBits; ++bits) {
      offset[bits + 1] = static_cast<std::uint16_t>(offset[bits] + count[bits]);
    }
    for (int s = 0; s < symbols; ++s) {
      if (lengths[s] != 0) {
        symbol[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
      }
    }
    count[0] = 0;
    return true;
  }

  // The next symbol, or -1 for a code that the lengths left unused or input that ran out.
  int Decode(BitReader& bits) const {
    std::uint32_t code = 0;
    std::uint32_t first = 0;
    std::size_t index = 0;
    for (std::size_t length = 1; length <= kMaxCodeBits; ++length) {
      std::uint32_t bit = 0;
      if (!bits.Bits(1, bit)) {
        return -1;
      }
      code |= bit;
      const std::uint32_t here = count[length];
      if (code < first + here) {
        return symbol[index + (code - first)];
      }
      index += here;
      first = (first + here) << 1;
      code <<= 1;
    }
    return -1;
  }
};

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                         4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                         9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
 public:
  Inflater(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) : bits_(in), out_(out) {}

  bool Run() {
    for (;;) {
      std::uint32_t last = 0;
      std::uint32_t type = 0;
      if (!bits_.Bits(1, last) || !bits_.Bits(2, type)) {
        return false;
      }
      bool ok = false;
      switch (type) {
        case 0:
          ok = Stored();
          break;
        case 1:
          ok = Fixed();
          break;
        case 2:
          ok = Dynamic();
          break;
        default:
          return false;
      }
      if (!ok) {
        return false;
      }
      if (last != 0) {
        return written_ == out_.size();
      }
    }
  }

  BitReader& Bits() { return bits_; }

 private:
  bool Stored() {
    bits_.AlignToByte();
    const std::span<const std::uint8_t> header = bits_.TakeBytes(4);
    if (header.size() != 4) {
      return false;
    }
    const unsigned length = header[0] | (unsigned{header[1]} << 8);
    const unsigned complement = header[2] | (unsigned{header[3]} << 8);
    if ((length ^ 0xFFFFu) != complement || length > out_.size() - written_) {
      return false;
    }
    const std::span<const std::uint8_t> data = bits_.TakeBytes(length);
    if (data.size() != length) {
      return false;
    }
    std::memcpy(out_.data() + written_, data.data(), length);
    written_ += length;
    return true;
  }

  bool Fixed() {
    std::array<std::uint8_t, 288 + 30> lengths{};
    std::memset(lengths.data(), 8, 144);
    std::memset(lengths.data() + 144, 9, 112);
    std::memset(lengths.data() + 256, 7, 24);
    std::memset(lengths.data() + 280, 8, 8);
    std::memset(lengths.data() + 288, 5, 30);
    Huffman literals;
    Huffman distances;
    return literals.Build(lengths.data(), 288) && distances.Build(lengths.data() + 288, 30) &&
           Codes(literals, distances);
  }

  bool Dynamic() {
    std::uint32_t literalCount = 0;
    std::uint32_t distanceCount = 0;
    std::uint32_t lengthCodeCount = 0;
    if (!bits_.Bits(5, literalCount) || !bits_.Bits(5, distanceCount) ||
        !bits_.Bits(4, lengthCodeCount)) {
      return false;
    }
    literalCount += 257;
    distanceCount += 1;
    lengthCodeCount += 4;
    if (literalCount > 286 || distanceCount > 30) {
      return false;
    }
    static constexpr std::array<std::uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                            11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<std::uint8_t, 19> codeLengths{};
    for (std::uint32_t i = 0; i < lengthCodeCount; ++i) {
      std::uint32_t length = 0;
      if (!bits_.Bits(3, length)) {
        return false;
      }
      codeLengths[kOrder[i]] = static_cast<std::uint8_t>(length);
    }
    Huffman lengthCode;
    if (!lengthCode.Build(codeLengths.data(), 19)) {
      return false;
    }

    std::array<std::uint8_t, 286 + 30> lengths{};
    const std::uint32_t total = literalCount + distanceCount;
    for (std::uint32_t i = 0; i < total;) {
      const int symbol = lengthCode.Decode(bits_);
      if (symbol < 0) {
        return false;
      }
      if (symbol < 16) {
        lengths[i++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      std::uint8_t repeated = 0;
      std::uint32_t times = 0;
      if (symbol == 16) {
        if (i == 0 || !bits_.Bits(2, times)) {
          return false;
        }
        repeated = lengths[i - 1];
        times += 3;
      } else if (symbol == 17) {
        if (!bits_.Bits(3, times)) {
          return false;
        }
        times += 3;
      } else {
        if (!bits_.Bits(7, times)) {
          return false;
        }
        times += 11;
      }
      if (times > total - i) {
        return false;
      }
      std::memset(lengths.data() + i, repeated, times);
      i += times;
    }
    if (lengths[256] == 0) {
      return false;  // a block that cannot end
    }
    Huffman literals;
    Huffman distances;
    return literals.Build(lengths.data(), static_cast<int>(literalCount)) &&
           distances.Build(lengths.data() + literalCount, static_cast<int>(distanceCount)) &&
           Codes(literals, distances);
  }

  bool Codes(const Huffman& literals, const Huffman& distances) {
    for (;;) {
      const int symbol = literals.Decode(bits_);
      if (symbol < 0) {
        return false;
      }
      if (symbol < 256) {
        if (written_ == out_.size()) {
          return false;
        }
        out_[written_++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      if (symbol == 256) {
        return true;
      }
      const auto lengthIndex = static_cast<std::size_t>(symbol - 257);
      if (lengthIndex >= kLengthBase.size()) {
        return false;
      }
      std::uint32_t extra = 0;
      if (!bits_.Bits(kLengthExtra[lengthIndex], extra)) {
        return false;
      }
      const std::size_t length = kLengthBase[lengthIndex] + extra;
      const int distanceSymbol = distances.Decode(bits_);
      const auto distanceIndex = static_cast<std::size_t>(distanceSymbol);
      if (distanceSymbol < 0 || distanceIndex >= kDistanceBase.size() ||
          !bits_.Bits(kDistanceExtra[distanceIndex], extra)) {
        return false;
      }
      const std::size_t distance = kDistanceBase[distanceIndex] + extra;
      if (distance > written_ || length > out_.size() - written_) {
        return false;
      }
      // A match longer than its distance repeats its first `distance` bytes: copy them once,
      // then double what is copied, so that no copy reads what it writes.
      std::uint8_t* to = out_.data() + written_;
      std::size_t done = std::min(length, distance);
      std::memcpy(to, to - distance, done);
      while (done < length) {
        const std::size_t run = std::min(length - done, done);
        std::memcpy(to + done, to, run);
        done += run;
      }
      written_ += length;
    }
  }

  BitReader bits_;
  std::span<std::uint8_t> out_;
  std::size_t written_ = 0;
};

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
  constexpr std::uint32_t kBase = 65521;
  constexpr std::size_t kBlock = 5552;  // the longest run whose sums cannot overflow
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t end = std::min(data.size(), at + kBlock);
    for (; at < end; ++at) {
      a += data[at];
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}

// ---- PNG -------------------------------------------------------------------------------------

constexpr std::size_t kChannels = 4;
constexpr int kLargestSide = 16384;  // bounds the memory a header can ask for

std::uint32_t BigEndian(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

struct Chunk {
  std::string_view type;
  std::span<const std::uint8_t> data;
};

// Walks the chunks after the signature; stops at IEND or at the first malformed chunk.
class Chunks {
 public:
  explicit Chunks(std::span<const std::uint8_t> png) : png_(png) {}

  bool Signature() const {
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return png_.size() >= sizeof(kSignature) &&
           std::memcmp(png_.data(), kSignature, sizeof(kSignature)) == 0;
  }

  bool Next(Chunk& chunk) {
    if (png_.size() - at_ < 12) {
      return false;
    }
    const std::uint32_t length = BigEndian(png_.data() + at_);
    if (length > png_.size() - at_ - 12) {
      return false;
    }
    chunk.type = {reinterpret_cast<const char*>(png_.data() + at_ + 4), 4};
    chunk.data = png_.subspan(at_ + 8, length);
    at_ += 12 + std::size_t{length};
    return true;
  }

 private:
  std::span<const std::uint8_t> png_;
  std::size_t at_ = 8;
};

std::optional<PixelSize> HeaderSize(const Chunk& header) {
  if (header.type != "IHDR" || header.data.size() != 13) {
    return std::nullopt;
  }
  const std::uint8_t* d = header.data.data();
  const std::uint32_t width = BigEndian(d);
  const std::uint32_t height = BigEndian(d + 4);
  // 8 bits per channel, red, green, blue and alpha, deflate, adaptive filters, not interlaced.
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide || d[8] != 8 ||
      d[9] != 6 || d[10] != 0 || d[11] != 0 || d[12] != 0) {
    return std::nullopt;
  }
  return PixelSize{static_cast<int>(width), static_cast<int>(height)};
}

std::uint8_t Paeth(int left, int up, int upLeft) {
  const int p = left + up - upLeft;
  const int toLeft = std::abs(p - left);
  const int toUp = std::abs(p - up);
  const int toUpLeft = std::abs(p - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) {
    return static_cast<std::uint8_t>(left);
  }
  return static_cast<std::uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// Undoes the row's filter in place; `above` is the previous row, unfiltered, or null.
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* above,
              std::size_t length) {
  const auto up = [&](std::size_t i) { return above != nullptr ? int{above[i]} : 0; };
  const auto left = [&](std::size_t i) { return i >= kChannels ? int{row[i - kChannels]} : 0; };
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = kChannels; i < length; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - kChannels]);
      }
      return true;
    case 2:
      for (std::size_t i = 0; i < length; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + up(i));
      }
      return true;
    case 3:
      for (std::size_t i = 0; i < length; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + (left(i) + up(i)) / 2);
      }
      return true;
    case 4:
      for (std::size_t i = 0; i < length; ++i) {
        const int upLeft = i >= kChannels ? up(i - kChannels) : 0;
        row[i] = static_cast<std::uint8_t>(row[i] + Paeth(left(i), up(i), upLeft));
      }
      return true;
    default:
      return false;
  }
}

// ---- Scaling by area -------------------------------------------------------------------------

// Where one source pixel lands along one axis: the first target pixel it covers and how much
// of it, and what spills into the next one. Weights are in 1/source of a target pixel, so that
// each target pixel's weights add up to the source length exactly.
struct Spread {
  std::uint32_t first = 0;
  std::uint32_t weight = 0;
  std::uint32_t spill = 0;
};

std::vector<Spread> Spreads(std::uint32_t source, std::uint32_t target) {
  std::vector<Spread> spreads(source);
  for (std::uint32_t i = 0; i < source; ++i) {
    // The source pixel spans [i, i + 1) source units: [i * target, (i + 1) * target) in
    // 1/source of a target pixel.
    const std::uint64_t begin = std::uint64_t{i} * target;
    const std::uint64_t end = begin + target;
    Spread& s = spreads[i];
    s.first = static_cast<std::uint32_t>(begin / source);
    const std::uint64_t boundary = (std::uint64_t{s.first} + 1) * source;
    if (end <= boundary) {
      s.weight = target;
    } else {
      s.weight = static_cast<std::uint32_t>(boundary - begin);
      s.spill = static_cast<std::uint32_t>(end - boundary);
    }
  }
  return spreads;
}

class AreaScaler {
 public:
  AreaScaler(PixelSize source, PixelSize target, std::span<std::uint8_t> out)
      : columns_(Spreads(static_cast<std::uint32_t>(source.width),
                         static_cast<std::uint32_t>(target.width))),
        rows_(Spreads(static_cast<std::uint32_t>(source.height),
                      static_cast<std::uint32_t>(target.height))),
        area_(std::uint64_t{static_cast<std::uint32_t>(source.width)} *
              static_cast<std::uint32_t>(source.height) * 255),
        premultiplied_(static_cast<std::size_t>(source.width) * kChannels),
        down_(2 * premultiplied_.size()),
        across_(static_cast<std::size_t>(target.width) * kChannels),
        out_(out) {}

  // One source row of straight RGBA, top row first.
  void AddRow(const std::uint8_t* rgba) {
    // Colours times alpha and alpha times 255, as B, G, R, A: a clear pixel adds nothing.
    const std::size_t length = premultiplied_.size();
    for (std::size_t i = 0; i < length; i += kChannels) {
      const std::uint32_t alpha = rgba[i + 3];
      premultiplied_[i] = rgba[i + 2] * alpha;
      premultiplied_[i + 1] = rgba[i + 1] * alpha;
      premultiplied_[i + 2] = rgba[i] * alpha;
      premultiplied_[i + 3] = alpha * 255;
    }
    // Down first, each column on its own: into the target row under way and, for a row
    // across its lower edge, the next one. The weights of one target row add up to the
    // source height, so a column's sum stays below 2^32.
    const Spread& s = rows_[y_];
    std::uint32_t* current = down_.data();
    std::uint32_t* next = current + length;
    for (std::size_t i = 0; i < length; ++i) {
      current[i] += premultiplied_[i] * s.weight;
    }
    if (s.spill != 0) {
      for (std::size_t i = 0; i < length; ++i) {
        next[i] += premultiplied_[i] * s.spill;
      }
    }
    ++y_;
    if (y_ == rows_.size() || rows_[y_].first != s.first) {
      Emit(s.first);
      std::copy(next, next + length, current);
      std::fill(next, next + length, 0);
    }
  }

 private:
  // Across: the finished target row from the column sums.
  void Emit(std::uint32_t targetRow) {
    std::fill(across_.begin(), across_.end(), 0);
    for (std::size_t x = 0; x < columns_.size(); ++x) {
      const Spread& s = columns_[x];
      const std::uint32_t* column = down_.data() + x * kChannels;
      std::uint64_t* into = across_.data() + std::size_t{s.first} * kChannels;
      for (std::size_t c = 0; c < kChannels; ++c) {
        into[c] += std::uint64_t{column[c]} * s.weight;
      }
      if (s.spill != 0) {
        for (std::size_t c = 0; c < kChannels; ++c) {
          into[kChannels + c] += std::uint64_t{column[c]} * s.spill;
        }
      }
    }
    // Every target pixel collected width * height weight units of values times 255.
    std::uint8_t* to = out_.data() + std::size_t{targetRow} * across_.size();
    for (std::size_t i = 0; i < across_.size(); ++i) {
      to[i] = static_cast<std::uint8_t>((across_[i] + area_ / 2) / area_);
    }
  }

  std::vector<Spread> columns_;
  std::vector<Spread> rows_;
  std::uint64_t area_;
  std::vector<std::uint32_t> premultiplied_;  // the source row under way
  std::vector<std::uint32_t> down_;           // column sums: this target row, then the next
  std::vector<std::uint64_t> across_;         // the target row
  std::span<std::uint8_t> out_;
  std::size_t y_ = 0;
};

}  // namespace

bool InflateZlib(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (in.size() < 6) {
    return false;
  }
  const unsigned method = in[0];
  const unsigned flags = in[1];
  // Deflate with a window of at most 32 KiB, no preset dictionary, a valid header check.
  if ((method & 0x0F) != 8 || (method >> 4) > 7 || (flags & 0x20) != 0 ||
      ((method << 8) | flags) % 31 != 0) {
    return false;
  }
  Inflater inflater(in.subspan(2), out);
  if (!inflater.Run()) {
    return false;
  }
  inflater.Bits().AlignToByte();
  const std::span<const std::uint8_t> checksum = inflater.Bits().TakeBytes(4);
  return checksum.size() == 4 && BigEndian(checksum.data()) == Adler32(out);
}

std::optional<PixelSize> ReadPngSize(std::span<const std::uint8_t> png) {
  Chunks chunks(png);
  Chunk header;
  if (!chunks.Signature() || !chunks.Next(header)) {
    return std::nullopt;
  }
  return HeaderSize(header);
}

bool DecodePngScaled(std::span<const std::uint8_t> png, PixelSize size,
                     std::span<std::uint8_t> out) {
  Chunks chunks(png);
  Chunk chunk;
  if (!chunks.Signature() || !chunks.Next(chunk)) {
    return false;
  }
  const std::optional<PixelSize> source = HeaderSize(chunk);
  if (!source || size.width <= 0 || size.height <= 0 || size.width > source->width ||
      size.height > source->height ||
      out.size() != static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) *
                        kChannels) {
    return false;
  }
  // The picture's data is one zlib stream, cut into IDAT chunks in order.
  std::span<const std::uint8_t> stream;
  std::vector<std::uint8_t> joined;
  bool ended = false;
  while (chunks.Next(chunk)) {
    if (chunk.type == "IDAT") {
      if (stream.empty() && joined.empty()) {
        stream = chunk.data;
      } else {
        if (joined.empty()) {
          joined.assign(stream.begin(), stream.end());
        }
        joined.insert(joined.end(), chunk.data.begin(), chunk.data.end());
        stream = joined;
      }
    } else if (chunk.type == "IEND") {
      ended = true;
      break;
    }
  }
  const std::size_t rowLength = static_cast<std::size_t>(source->width) * kChannels;
  std::vector<std::uint8_t> rows((rowLength + 1) * static_cast<std::size_t>(source->height));
  if (!ended || !InflateZlib(stream, rows)) {
    return false;
  }
  AreaScaler scaler(*source, size, out);
  const std::uint8_t* above = nullptr;
  for (std::size_t y = 0; y < static_cast<std::size_t>(source->height); ++y) {
    std::uint8_t* row = rows.data() + y * (rowLength + 1);
    if (!Unfilter(row[0], row + 1, above, rowLength)) {
      return false;
    }
    scaler.AddRow(row + 1);
    above = row + 1;
  }
  return true;
}
