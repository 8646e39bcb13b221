#include "flashing/win32/serial_ports_win32.h"

#include <algorithm>
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

// The registry's own limit on a value name, in characters.
constexpr DWORD kLongestValueName = 16383;

// A value that grows again at every read is given up after this many reads.
constexpr int kDataReads = 4;

UniqueKey OpenKeyReadOnly(HKEY root, const std::wstring& keyPath) {
  for (const REGSAM access : kReadAccesses) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, access, &opened) == ERROR_SUCCESS) {
      return UniqueKey(opened);
    }
  }
  return UniqueKey();
}

class RegistryKeyCalls final : public PortKeyCalls {
 public:
  explicit RegistryKeyCalls(HKEY key) : key_(key) {}

  LSTATUS QueryInfo(DWORD& valueCount, DWORD& longestName) override {
    return ::RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &valueCount, &longestName, nullptr, nullptr, nullptr);
  }
  LSTATUS EnumValue(DWORD index, wchar_t* name, DWORD& length) override {
    return ::RegEnumValueW(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr);
  }
  LSTATUS QueryValue(const std::wstring& name, DWORD* type, BYTE* data, DWORD& size) override {
    return ::RegQueryValueExW(key_, name.c_str(), nullptr, type, data, &size);
  }

 private:
  HKEY key_;
};

// Every value name first, in the registry's enumeration order.
std::vector<std::wstring> ValueNames(PortKeyCalls& key) {
  DWORD count = 0;
  DWORD longest = 0;
  if (key.QueryInfo(count, longest) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<std::wstring> names;
  std::wstring buffer(std::size_t{longest} + 1, L'\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LSTATUS status = key.EnumValue(index, buffer.data(), length);
    if (status == ERROR_MORE_DATA && buffer.size() <= kLongestValueName) {
      // A longer name came in since the count: room for the longest a name can be.
      buffer.resize(std::size_t{kLongestValueName} + 1);
      length = static_cast<DWORD>(buffer.size());
      status = key.EnumValue(index, buffer.data(), length);
    }
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
// the listing, or since its size was asked) or holds no data gives an empty text.
std::wstring ReadPortName(PortKeyCalls& key, const std::wstring& name) {
  DWORD size = 0;
  if (key.QueryValue(name, nullptr, nullptr, size) != ERROR_SUCCESS || size == 0) {
    return {};
  }
  std::vector<BYTE> data;
  DWORD type = REG_NONE;
  LSTATUS status = ERROR_MORE_DATA;
  // A value that grew since its size was asked is read again at its new size.
  for (int read = 0; read < kDataReads && status == ERROR_MORE_DATA; ++read) {
    data.resize(size);
    status = key.QueryValue(name, &type, data.data(), size);
  }
  if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && size == 0)) {
    return {};
  }
  if (status != ERROR_SUCCESS) {
    throw AppError(L"Echec \u00e0 l'obtention des donn\u00e9es pour '" + name + L"'");
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw AppError(L"Type de donn\u00e9es incorrect pour '" + name + L"'");
  }
  // The data need not end with a NUL, and an odd last byte is no character.
  std::wstring text(std::min<std::size_t>(size, data.size()) / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (const std::size_t end = text.find(L'\0'); end != std::wstring::npos) {
    text.resize(end);
  }
  return text;
}

}  // namespace

void AddSerialPorts(ItemList& ports, PortKeyCalls& key) {
  for (const std::wstring& name : ValueNames(key)) {
    ports.Add(ReadPortName(key, name));
  }
}

void ReadSerialPorts(ItemList& ports, HKEY root, const std::wstring& keyPath) {
  ports.Clear();
  const UniqueKey key = OpenKeyReadOnly(root, keyPath);
  if (!key) {
    return;
  }
  RegistryKeyCalls calls(key.get());
  AddSerialPorts(ports, calls);
}
