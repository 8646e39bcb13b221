#include "flashing/work_folder.h"

#include <cstdint>

#include "core/app_error.h"

namespace {

// Everything up to and including the last backslash or drive colon.
std::wstring_view ParentPart(std::wstring_view path) {
  const auto cut = path.find_last_of(L"\\:");
  return cut == std::wstring_view::npos ? std::wstring_view{} : path.substr(0, cut + 1);
}

}  // namespace

std::wstring WorkFolderPathFor(std::wstring_view temp) {
  std::wstring path(temp);
  if (path.empty() || path.back() != L'\\') {
    path += L'\\';
  }
  path += kWorkFolderName;
  return path;
}

bool ForceFolderChain(std::wstring_view path, FolderOps& ops) {
  if (path.empty()) {
    throw AppError(L"Impossible de cr\u00e9er le r\u00e9pertoire");
  }
  if (path.back() == L'\\') {
    path.remove_suffix(1);
  }
  const std::wstring folder(path);
  if (ops.FolderExists(folder)) {
    return true;
  }
  const std::wstring_view parent = ParentPart(path);
  if (path.size() < 3 || parent == path) {
    return ops.CreateFolder(folder);
  }
  return ForceFolderChain(parent, ops) && ops.CreateFolder(folder);
}

std::wstring GetWorkFolderFor(std::wstring_view temp, FolderOps& ops) {
  std::wstring path = WorkFolderPathFor(temp);
  ForceFolderChain(path, ops);  // a folder that cannot be made shows up later, not here
  return path;
}

std::wstring CopiesObjectName(std::wstring_view folderKey) {
  // 64-bit FNV-1a, one step per character: a path of any length gives a name of fixed length.
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const wchar_t unit : folderKey) {
    hash = (hash ^ static_cast<std::uint32_t>(unit)) * 0x100000001b3u;
  }
  std::wstring name = L"VantorTrackerFlash-";
  for (int shift = 60; shift >= 0; shift -= 4) {
    name += L"0123456789abcdef"[(hash >> shift) & 0xfu];
  }
  return name;
}
