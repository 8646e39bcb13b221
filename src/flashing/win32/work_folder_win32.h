// The work folder and payload extraction on Windows: "TEMP", the folder chain, the program's
// own RT_RCDATA resources, and the removal of the folder at the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The work folder path ("TEMP" + "\VantorTrackerFlash\"), after making the folder when it can.
// Throws AppError when "TEMP" leads the folder chain to an empty name.
std::wstring GetWorkFolder();

// Copies the named RT_RCDATA resource of this program into `targetPath` (created anew, no
// sharing) through one buffer of min(1 MiB, size); true when every byte was written. A payload
// that is not found changes nothing on disk; a failed write leaves the partial file.
bool ExtractResourceToFile(std::wstring_view resourceName, const std::wstring& targetPath);

// Empties the folder depth-first (read-only, hidden and system entries too) and removes it.
// Does nothing when `folder` is empty or names no folder; reports nothing. A link inside is
// removed as a link and never followed: what it points to stays as it is.
void RemoveWorkFolder(const std::wstring& folder);

// Deletes one file, read-only or not; the outcome is not reported.
void RemoveFileQuietly(const std::wstring& path);

inline constexpr std::size_t kExtractChunkBytes = 1024 * 1024;

// The copy step of an extraction: the payload goes through one buffer of
// min(kExtractChunkBytes, size), allocated once, and `writeChunk` gets each filled chunk.
// False as soon as a chunk is not written whole.
template <typename WriteChunk>
bool CopyInChunks(std::span<const std::byte> payload, WriteChunk&& writeChunk) {
  std::vector<std::byte> buffer(std::min(kExtractChunkBytes, payload.size()));
  for (std::size_t offset = 0; offset < payload.size();) {
    const std::size_t length = std::min(buffer.size(), payload.size() - offset);
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(offset), length, buffer.begin());
    if (!writeChunk(std::span<const std::byte>(buffer.data(), length))) {
      return false;
    }
    offset += length;
  }
  return true;
}
