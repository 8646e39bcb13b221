// How many bytes zlib at level 9 would make of an image, estimated without compressing it:
// the simulated tool prints the size in its "Compressed ..." line and paces its progress by it.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {

// A deterministic estimate of the zlib stream size (header, deflate blocks, checksum) for `data`:
// a greedy LZ77 parse over a 32 KiB window, priced by the entropy of the literal/length and
// distance symbols per block plus their extra bits; never more than the stored form.
std::uint64_t EstimateDeflateSize(std::string_view data);

}  // namespace sim
