// The serial port listing, read from a scratch key of HKEY_CURRENT_USER laid out like
// HARDWARE\DEVICEMAP\SERIALCOMM.
#include "flashing/win32/serial_ports_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/app_error.h"
#include "win32/unique_handle.h"

namespace {

// The port list as the listing leaves it; starts with an entry the listing must clear.
class PortList final : public ItemList {
 public:
  std::vector<std::wstring> items{L"stale"};

  void Add(std::wstring_view line) override { items.emplace_back(line); }
  void Clear() override { items.clear(); }
  void Insert(int index, std::wstring_view item) override {
    items.emplace(items.begin() + index, item);
  }
};

struct Value {
  const wchar_t* name;
  DWORD type;
  std::wstring_view stored;  // exactly the characters stored, NULs included
  bool oddByte;              // one more byte after them
};

class SerialPortsTest : public testing::Test {
 protected:
  void SetUp() override {
    keyPath_ = L"Software\\VantorTrackerFlasherTests\\" + std::to_wstring(::GetCurrentProcessId());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str());
  }
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantorTrackerFlasherTests");
  }

  // Writes the values under a sub-key of the scratch key and returns that sub-key's path.
  std::wstring MakeKey(const std::wstring& subKey, const std::vector<Value>& values) {
    const std::wstring path = keyPath_ + L"\\" + subKey;
    UniqueKey key;
    EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    for (const Value& value : values) {
      // A character after the data keeps the registry from counting in a NUL that was not
      // asked for.
      std::wstring buffer(value.stored);
      buffer += L"XX";
      const DWORD size =
          static_cast<DWORD>(value.stored.size() * sizeof(wchar_t) + (value.oddByte ? 1 : 0));
      EXPECT_EQ(::RegSetValueExW(key.get(), value.name, 0, value.type,
                                 reinterpret_cast<const BYTE*>(buffer.data()), size),
                ERROR_SUCCESS);
      DWORD storedSize = 0;
      ::RegQueryValueExW(key.get(), value.name, nullptr, nullptr, nullptr, &storedSize);
      EXPECT_EQ(storedSize, size) << "value " << value.name << " not stored as meant";
    }
    return path;
  }

  std::wstring keyPath_;
};

TEST_F(SerialPortsTest, ListsTheDataOfEveryValueInOrder) {
  // Names in creation order sort the same way, so the order is the registry's on Windows and
  // on Wine alike; the data are left unsorted.
  struct Row {
    Value value;
    const wchar_t* entry;
  };
  const Row rows[] = {
      {{L"\\Device\\Serial0", REG_SZ, {L"COM9\0", 5}, false}, L"COM9"},
      {{L"\\Device\\Serial1", REG_EXPAND_SZ, {L"%SystemRoot%x\0", 14}, false}, L"%SystemRoot%x"},
      {{L"\\Device\\Serial2", REG_SZ, {L"COM3", 4}, false}, L"COM3"},           // no NUL stored
      {{L"\\Device\\Serial3", REG_SZ, {L"COM4", 4}, true}, L"COM4"},            // odd byte count
      {{L"\\Device\\Serial4", REG_SZ, {L"", 0}, false}, L""},                   // no data
      {{L"\\Device\\Serial5", REG_BINARY, {L"", 0}, false}, L""},               // no data, any type
      {{L"\\Device\\Serial6", REG_SZ, {L"COM9\0", 5}, false}, L"COM9"},         // a duplicate
      {{L"\\Device\\Serial7", REG_SZ, {L"COM5\0COM6\0", 10}, false}, L"COM5"},  // first NUL
      {{L"\\Device\\Serial8", REG_SZ, {L" COM7 \0", 7}, false}, L" COM7 "},     // not trimmed
  };
  std::vector<Value> values;
  std::vector<std::wstring> expected;
  for (const Row& row : rows) {
    values.push_back(row.value);
    expected.emplace_back(row.entry);
  }
  const std::wstring path = MakeKey(L"ports", values);

  PortList ports;
  ReadSerialPorts(ports, HKEY_CURRENT_USER, path);
  EXPECT_EQ(ports.items, expected);
}

TEST_F(SerialPortsTest, NonStringDataStopsTheListingWithTheValueName) {
  const DWORD types[] = {REG_DWORD, REG_QWORD, REG_MULTI_SZ, REG_BINARY};
  for (const DWORD type : types) {
    SCOPED_TRACE(testing::Message() << "type " << type);
    const std::wstring path = MakeKey(L"type" + std::to_wstring(type),
                                      {
                                          {L"\\Device\\Serial0", REG_SZ, {L"COM1\0", 5}, false},
                                          {L"\\Device\\Serial1", type, {L"12\0\0", 4}, false},
                                          {L"\\Device\\Serial2", REG_SZ, {L"COM2\0", 5}, false},
                                      });
    PortList ports;
    try {
      ReadSerialPorts(ports, HKEY_CURRENT_USER, path);
      ADD_FAILURE() << "no error for data that is not a string";
    } catch (const AppError& error) {
      EXPECT_EQ(error.Message(), L"Type de donn\u00e9es incorrect pour '\\Device\\Serial1'");
    }
    EXPECT_EQ(ports.items, std::vector<std::wstring>{L"COM1"});
  }
}

TEST_F(SerialPortsTest, NoKeyOrNoValuesGivesAnEmptyList) {
  const std::wstring paths[] = {keyPath_ + L"\\missing", MakeKey(L"empty", {})};
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(testing::Message() << "key " << path);
    PortList ports;
    ReadSerialPorts(ports, HKEY_CURRENT_USER, path);
    EXPECT_TRUE(ports.items.empty());
  }
}

}  // namespace
