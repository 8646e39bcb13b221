#include "payloads/simulator/deflate_size.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <vector>

namespace sim {
namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
constexpr int kMaxChain = 256;
// zlib closes a block when its symbol buffer (16 Ki entries at the default memory level) is full.
constexpr std::size_t kSymbolsPerBlock = 16383;
constexpr int kEndOfBlock = 256;

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Index of the last table entry whose base is <= value.
template <std::size_t N>
int CodeFor(const std::array<int, N>& bases, int value) {
  const auto it = std::upper_bound(bases.begin(), bases.end(), value);
  return static_cast<int>(it - bases.begin()) - 1;
}

struct Block {
  std::array<std::uint32_t, 286> litlen{};
  std::array<std::uint32_t, 30> distance{};
  std::uint64_t extra_bits = 0;
  std::uint64_t symbols = 0;
  std::uint64_t input_bytes = 0;

  void AddLiteral(unsigned char byte) {
    ++litlen[byte];
    ++symbols;
    ++input_bytes;
  }
  void AddMatch(int length, int dist) {
    const int lcode = CodeFor(kLengthBase, length);
    const int dcode = CodeFor(kDistanceBase, dist);
    ++litlen[static_cast<std::size_t>(257 + lcode)];
    ++distance[static_cast<std::size_t>(dcode)];
    extra_bits += static_cast<std::uint64_t>(kLengthExtra[static_cast<std::size_t>(lcode)] +
                                             kDistanceExtra[static_cast<std::size_t>(dcode)]);
    ++symbols;
    input_bytes += static_cast<std::uint64_t>(length);
  }
};

// Bits to code `counts` with ideal code lengths, and how many symbols occur.
template <std::size_t N>
double EntropyBits(const std::array<std::uint32_t, N>& counts, int* used) {
  double total = 0;
  for (auto c : counts) {
    total += c;
  }
  double bits = 0;
  *used = 0;
  for (auto c : counts) {
    if (c == 0) {
      continue;
    }
    ++*used;
    // A Huffman code spends at least one bit on every symbol, however common.
    bits += c * std::max(1.0, std::log2(total / c));
  }
  return bits;
}

// The cheapest of the three block kinds zlib chooses from, in bits.
double BlockBits(Block block) {
  block.litlen[kEndOfBlock] = 1;

  int used_litlen = 0;
  int used_distance = 0;
  const double coded =
      EntropyBits(block.litlen, &used_litlen) + EntropyBits(block.distance, &used_distance);
  // Code-length header: counts, the code-length code, and about four bits per used symbol.
  const double dynamic_bits = 3 + 14 + 3 * 19 + 4.0 * (used_litlen + used_distance) + coded +
                              static_cast<double>(block.extra_bits);

  double static_bits = 3 + static_cast<double>(block.extra_bits);
  for (std::size_t s = 0; s < block.litlen.size(); ++s) {
    const int len = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    static_bits += static_cast<double>(block.litlen[s]) * len;
  }
  for (auto c : block.distance) {
    static_bits += c * 5.0;
  }

  const double stored_bits = 3 + 7 + 32 + 8.0 * static_cast<double>(block.input_bytes);
  return std::min({dynamic_bits, static_bits, stored_bits});
}

std::uint32_t Hash3(const unsigned char* p) {
  return ((static_cast<std::uint32_t>(p[0]) << 10) ^ (static_cast<std::uint32_t>(p[1]) << 5) ^
          p[2]) &
         0x7FFF;
}

}  // namespace

std::uint64_t EstimateDeflateSize(std::string_view data) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();

  std::vector<std::int64_t> head(0x8000, -1);
  std::vector<std::int64_t> prev(kWindow, -1);
  auto insert = [&](std::size_t pos) {
    if (pos + kMinMatch > n) {
      return;
    }
    const std::uint32_t h = Hash3(bytes + pos);
    prev[pos % kWindow] = head[h];
    head[h] = static_cast<std::int64_t>(pos);
  };

  double bits = 0;
  Block block;
  auto close_block_if_full = [&] {
    if (block.symbols >= kSymbolsPerBlock) {
      bits += BlockBits(block);
      block = Block{};
    }
  };

  std::size_t pos = 0;
  while (pos < n) {
    std::size_t best_len = 0;
    std::size_t best_dist = 0;
    if (pos + kMinMatch <= n) {
      const std::size_t max_len = std::min(kMaxMatch, n - pos);
      std::int64_t candidate = head[Hash3(bytes + pos)];
      for (int chain = 0; candidate >= 0 && chain < kMaxChain; ++chain) {
        const auto cand = static_cast<std::size_t>(candidate);
        const std::size_t dist = pos - cand;
        if (dist == 0 || dist > kWindow) {
          break;
        }
        std::size_t len = 0;
        while (len < max_len && bytes[cand + len] == bytes[pos + len]) {
          ++len;
        }
        if (len > best_len) {
          best_len = len;
          best_dist = dist;
          if (len == max_len) {
            break;
          }
        }
        const std::int64_t next = prev[cand % kWindow];
        if (next >= candidate) {
          break;  // the slot was reused by a newer position
        }
        candidate = next;
      }
    }
    if (best_len >= kMinMatch) {
      block.AddMatch(static_cast<int>(best_len), static_cast<int>(best_dist));
      for (std::size_t k = 0; k < best_len; ++k) {
        insert(pos + k);
      }
      pos += best_len;
    } else {
      block.AddLiteral(bytes[pos]);
      insert(pos);
      ++pos;
    }
    close_block_if_full();
  }
  if (block.symbols > 0 || n == 0) {
    bits += BlockBits(block);
  }

  // Two bytes of zlib header, the deflate bits rounded up to bytes, four bytes of Adler-32.
  return 2 + static_cast<std::uint64_t>(std::ceil(bits / 8.0)) + 4;
}

}  // namespace sim
