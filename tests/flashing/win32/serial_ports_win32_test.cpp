// The serial port listing, read from a scratch key of HKEY_CURRENT_USER laid out like
// HARDWARE\DEVICEMAP\SERIALCOMM.
#include "flashing/win32/serial_ports_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_error.h"
#include "win32/unique_handle.h"

namespace {

using namespace std::string_view_literals;

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

// ---- Values that change while the list is read ------------------------------------------------

// The opened key's calls answered the way the registry answers them, from values that a
// case's script changes after chosen calls, as a driver does while the list is read.
class ChangingKey final : public PortKeyCalls {
 public:
  enum class Call { Info, Size, Data };
  struct Stored {
    std::wstring name;
    DWORD type;
    std::wstring data;  // as stored, NUL included
  };
  using Script = std::function<void(ChangingKey&, Call, const std::wstring& name)>;

  ChangingKey(std::vector<Stored> initial, Script script)
      : values(std::move(initial)), script_(std::move(script)) {}

  LSTATUS QueryInfo(DWORD& valueCount, DWORD& longestName) override {
    valueCount = static_cast<DWORD>(values.size());
    longestName = 0;
    for (const Stored& value : values) {
      longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
    }
    script_(*this, Call::Info, {});
    return ERROR_SUCCESS;
  }

  LSTATUS EnumValue(DWORD index, wchar_t* name, DWORD& length) override {
    if (index >= values.size()) {
      return ERROR_NO_MORE_ITEMS;
    }
    const std::wstring& stored = values[index].name;
    if (stored.size() + 1 > length) {
      return ERROR_MORE_DATA;  // and, for a name, no size
    }
    std::copy(stored.begin(), stored.end(), name);
    name[stored.size()] = L'\0';
    length = static_cast<DWORD>(stored.size());
    return ERROR_SUCCESS;
  }

  LSTATUS QueryValue(const std::wstring& name, DWORD* type, BYTE* data, DWORD& size) override {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const Stored& value) { return value.name == name; });
    if (found == values.end()) {
      return ERROR_FILE_NOT_FOUND;
    }
    const auto bytes = static_cast<DWORD>(found->data.size() * sizeof(wchar_t));
    LSTATUS status = ERROR_SUCCESS;
    if (data != nullptr && name == refused) {
      status = ERROR_ACCESS_DENIED;
    } else if (data != nullptr && size < bytes) {
      status = ERROR_MORE_DATA;
    } else if (data != nullptr) {
      std::memcpy(data, found->data.data(), bytes);
    }
    if (type != nullptr) {
      *type = found->type;
    }
    if (status != ERROR_ACCESS_DENIED) {
      size = bytes;
    }
    script_(*this, data == nullptr ? Call::Size : Call::Data, name);
    return status;
  }

  Stored& Value(const std::wstring& name) {
    return *std::find_if(values.begin(), values.end(),
                         [&](const Stored& value) { return value.name == name; });
  }

  std::vector<Stored> values;
  std::wstring refused;  // a value whose data cannot be read

 private:
  Script script_;
};

TEST(SerialPortRaces, EachValueGivesWhatItHoldsWhenItsDataIsRead) {
  using Call = ChangingKey::Call;
  const std::wstring second = L"\\Device\\Serial1";
  const std::wstring echec = L"Echec \u00e0 l'obtention des donn\u00e9es pour '" + second + L"'";
  const struct {
    const char* name;
    ChangingKey::Script script;
    std::vector<std::wstring> entries;
    std::optional<std::wstring> error;
  } cases[] = {
      {"nothing changes",
       [](ChangingKey&, Call, const std::wstring&) {},
       {L"COM3", L"COM4", L"COM5"},
       std::nullopt},
      {"deleted between its size and its data",
       [&](ChangingKey& key, Call call, const std::wstring& name) {
         if (call == Call::Size && name == second) {
           std::erase_if(key.values, [&](const auto& value) { return value.name == second; });
         }
       },
       {L"COM3", L"", L"COM5"},
       std::nullopt},
      {"grown between its size and its data",
       [&](ChangingKey& key, Call call, const std::wstring& name) {
         if (call == Call::Size && name == second) {
           key.Value(second).data = std::wstring(L"COM40\0"sv);
         }
       },
       {L"COM3", L"COM40", L"COM5"},
       std::nullopt},
      {"emptied between its size and its data",
       [&](ChangingKey& key, Call call, const std::wstring& name) {
         if (call == Call::Size && name == second) {
           key.Value(second).data.clear();
         }
       },
       {L"COM3", L"", L"COM5"},
       std::nullopt},
      // Removed and added again under a name longer than the longest that was counted.
      {"renamed after the count",
       [&](ChangingKey& key, Call call, const std::wstring&) {
         if (call == Call::Info) {
           key.Value(second).name = L"\\Device\\VirtualSerialPortOfADriverWithALongName";
         }
       },
       {L"COM3", L"COM4", L"COM5"},
       std::nullopt},
      {"growing at every read",
       [&](ChangingKey& key, Call, const std::wstring& name) {
         if (name == second) {
           key.Value(second).data.insert(0, L"X");
         }
       },
       {L"COM3"},
       echec},
      {"made a number between its size and its data",
       [&](ChangingKey& key, Call call, const std::wstring& name) {
         if (call == Call::Size && name == second) {
           key.Value(second).type = REG_DWORD;
         }
       },
       {L"COM3"},
       L"Type de donn\u00e9es incorrect pour '" + second + L"'"},
      {"refused when its data is read",
       [&](ChangingKey& key, Call call, const std::wstring&) {
         if (call == Call::Info) {
           key.refused = second;
         }
       },
       {L"COM3"},
       echec},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ChangingKey key({{L"\\Device\\Serial0", REG_SZ, std::wstring(L"COM3\0"sv)},
                     {second, REG_SZ, std::wstring(L"COM4\0"sv)},
                     {L"\\Device\\Serial2", REG_SZ, std::wstring(L"COM5\0"sv)}},
                    c.script);
    PortList ports;
    ports.items.clear();
    std::optional<std::wstring> error;
    try {
      AddSerialPorts(ports, key);
    } catch (const AppError& raised) {
      error = raised.Message();
    }
    EXPECT_EQ(ports.items, c.entries);
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
