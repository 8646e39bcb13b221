// The serial ports that Windows lists in the registry.
#pragma once

#include <windows.h>

#include <string>

#include "core/controls.h"

inline constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Empties `ports` and appends the data of every value of the key, in enumeration order.
// A key that cannot be opened leaves `ports` empty. Throws AppError for a value whose type is
// not a string ("Type de données incorrect pour '%s'") or whose data cannot be read
// ("Echec à l'obtention des données pour '%s'"); the ports read before it stay.
void ReadSerialPorts(ItemList& ports, HKEY root = HKEY_LOCAL_MACHINE,
                     const std::wstring& keyPath = kSerialCommKey);

// The three registry calls that the listing makes on the opened key. Drivers add and remove
// values while the list is read, so a test stands in for them to script such races.
class PortKeyCalls {
 public:
  virtual ~PortKeyCalls() = default;
  // RegQueryInfoKeyW: the number of values and the length of the longest name.
  virtual LSTATUS QueryInfo(DWORD& valueCount, DWORD& longestName) = 0;
  // RegEnumValueW for the name alone: `length` is the buffer's in characters, then the name's.
  virtual LSTATUS EnumValue(DWORD index, wchar_t* name, DWORD& length) = 0;
  // RegQueryValueExW: `type` and `data` may be null; `size` is in bytes, in and out.
  virtual LSTATUS QueryValue(const std::wstring& name, DWORD* type, BYTE* data, DWORD& size) = 0;
};

// ReadSerialPorts on an opened key, without emptying `ports` first.
void AddSerialPorts(ItemList& ports, PortKeyCalls& key);
