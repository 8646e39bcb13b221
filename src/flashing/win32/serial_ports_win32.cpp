#include "flashing/win32/serial_ports_win32.h"

#include <cstring>
#include <vector>

#include "core/app_error.h"
#include "win32/unique_handle.h"

namespace {

// Read-only access, narrowed step by step when the wider one is refused.
constexpr REGSAM kReadAccesses[] = {
    KEY_READ,
    STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
    KEY_QUERY_VALUE,
};

UniqueKey OpenKeyReadOnly(HKEY root, const std::wstring& keyPath) {
  for (const REGSAM access : kReadAccesses) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, access, &opened) == ERROR_SUCCESS) {
      return UniqueKey(opened);
    }
  }
  return UniqueKey();
}

// Every value name first, in the registry's enumeration order.
std::vector<std::wstring> ValueNames(HKEY key) {
  DWORD count = 0;
  DWORD longest = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<std::wstring> names;
  std::wstring buffer(std::size_t{longest} + 1, L'\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LSTATUS status =
        ::RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) {
      break;  // values removed since they were counted
    }
    if (status == ERROR_SUCCESS) {
      names.emplace_back(buffer.data(), length);
    }
  }
  return names;
}

// The value's text up to its first NUL, unexpanded. A value that cannot be queried (gone since
// the listing) or holds no data gives an empty text.
std::wstring ReadPortName(HKEY key, const std::wstring& name) {
  DWORD size = 0;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
      size == 0) {
    return {};
  }
  std::vector<BYTE> data(size);
  DWORD type = REG_NONE;
  if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    throw AppError(L"Echec \u00e0 l'obtention des donn\u00e9es pour '" + name + L"'");
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw AppError(L"Type de donn\u00e9es incorrect pour '" + name + L"'");
  }
  // The data need not end with a NUL, and an odd last byte is no character.
  std::wstring text(size / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (const std::size_t end = text.find(L'\0'); end != std::wstring::npos) {
    text.resize(end);
  }
  return text;
}

}  // namespace

void ReadSerialPorts(ItemList& ports, HKEY root, const std::wstring& keyPath) {
  ports.Clear();
  const UniqueKey key = OpenKeyReadOnly(root, keyPath);
  if (!key) {
    return;
  }
  for (const std::wstring& name : ValueNames(key.get())) {
    ports.Add(ReadPortName(key.get(), name));
  }
}
