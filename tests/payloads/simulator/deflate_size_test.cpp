// The compressed sizes the simulated tool prints must behave like zlib's at level 9.
#include "payloads/simulator/deflate_size.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string Noise(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t seed = 1;
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Words picked by a small generator; zlib -9 makes 9575 bytes of these 65536.
std::string Words() {
  const std::vector<std::string> words = {"flash", "image", "segment", "bootloader", "partition",
                                          "table", "chip",  "write",   "offset",     "the",
                                          "a",     "of",    "to",      "and"};
  std::string text;
  std::uint32_t x = 12345;
  while (text.size() < 65536) {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    if (!text.empty()) {
      text += ' ';
    }
    text += words[(x >> 16) % words.size()];
  }
  return text.substr(0, 65536);
}

TEST(DeflateSizeTest, EstimatesFollowZlibAtLevelNine) {
  struct Case {
    const char* name;
    std::string data;
    std::uint64_t low;   // inclusive
    std::uint64_t high;  // inclusive
  };
  const std::string noise = Noise(65536);
  std::string repeated;
  for (int i = 0; i < 16; ++i) {
    repeated += noise.substr(0, 4096);
  }
  const std::vector<Case> cases = {
      // zlib: 8 bytes for nothing, 84 for 64 KiB of zeros.
      {"empty", "", 8, 8},
      {"zeros", std::string(65536, '\0'), 60, 110},
      // Incompressible data goes stored: its size plus a few bytes per 64 KiB block.
      {"noise", noise, 65536, 65536 + 40},
      // The same 4 KiB sixteen times: found again 4096 bytes back.
      {"repeats", repeated, 4096, 4096 + 4096 / 2},
      {"words", Words(), 9575 * 85 / 100, 9575 * 115 / 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint64_t size = sim::EstimateDeflateSize(c.data);
    EXPECT_GE(size, c.low);
    EXPECT_LE(size, c.high);
  }
}

}  // namespace
