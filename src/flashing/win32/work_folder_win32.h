// The work folder and payload extraction on Windows: "TEMP", the folder chain, the program's
// own RT_RCDATA resources, and the removal of the folder at the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "win32/unique_handle.h"

// The work folder path ("TEMP" + "\VantorTrackerFlash\"), after making the folder when it can.
// Throws AppError when "TEMP" leads the folder chain to an empty name.
std::wstring GetWorkFolder();

// Copies the named RT_RCDATA resource of this program into `targetPath` through one buffer
// of min(1 MiB, size); true when every byte was written. The copy is written to a new file
// beside the target and then takes the target's name, so a link or a hard link found there
// is replaced as a name and what it points to is never written. A payload that is not found,
// a failed write, a read-only target and a target held open all leave the target as it was
// and no new file.
bool ExtractResourceToFile(std::wstring_view resourceName, const std::wstring& targetPath);

// Empties the folder depth-first (read-only, hidden and system entries too) and removes it.
// Does nothing when `folder` is empty or names no folder; reports nothing. Every folder is
// held open while it is walked and every entry is acted on through its own handle: a link
// inside is removed as a link and never followed, and an entry whose place cannot be
// confirmed stays.
void RemoveWorkFolder(const std::wstring& folder);

// Called with each entry's name after its folder has been listed and before the entry is
// opened: the moment another program could change the folder under the walk.
using EntryHook = std::function<void(std::wstring_view name)>;
void RemoveWorkFolder(const std::wstring& folder, const EntryHook& beforeEntry);

// Deletes one file (never a folder), read-only or not, through its own handle: a link goes as
// the link. The outcome is not reported.
void RemoveFileQuietly(const std::wstring& path);

// This copy's share in the work folder, which every running copy of the program uses: the last
// copy to close removes it. Each copy holds a named kernel object (nothing is written to disk
// for it); the system lets go of a killed copy's handle, so that copy counts no more.
class WorkFolderShare {
 public:
  // Counts this copy among the users of `folder` (once; a later call for the same folder
  // changes nothing).
  void Join(const std::wstring& folder);
  // Lets this copy's share go and removes the folder (as RemoveWorkFolder does) unless another
  // copy holds a share, or it cannot be told.
  void LeaveAndRemoveWhenLast(const std::wstring& folder);

 private:
  std::wstring name_;  // the objects' name for the folder joined; empty before
  UniqueHandle share_;
};

// The name of the kernel object that each copy using `folder` holds.
std::wstring WorkFolderShareName(const std::wstring& folder);

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
