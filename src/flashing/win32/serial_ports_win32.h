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
