// What the window tests share: fake services that record every call, and the fixture that
// opens the real window with them (the user's keyboard and mouse come from window_user.h).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/system_services.h"
#include "core/app_error.h"
#include "window_user.h"

inline constexpr std::wstring_view kTestFolder = L"C:\\vtf-test\\VantorTrackerFlash\\";

class FakeServices final : public SystemServices {
 public:
  std::vector<std::wstring> calls;
  bool workFolderFails = false;
  std::vector<std::wstring> ports{L"COM3", L"COM7"};
  std::function<void()> duringPortListing;  // runs inside ListSerialPorts, may throw
  std::vector<std::wstring> toolOutput;
  int exitCode = 0;
  std::function<void()> afterEachToolLine;  // runs while the "tool" still holds the thread

  std::wstring GetWorkFolder() override {
    calls.push_back(L"GetWorkFolder");
    if (workFolderFails) {
      throw AppError(L"Impossible de cr\u00E9er le r\u00E9pertoire");
    }
    return std::wstring(kTestFolder);
  }
  std::wstring ToolFolder(const std::wstring& folder) override { return folder; }
  bool ExtractResourceToFile(std::wstring_view name, const std::wstring& target) override {
    calls.push_back(L"Extract " + std::wstring(name) + L" " + target);
    return true;
  }
  void RemoveFile(const std::wstring& path) override { calls.push_back(L"RemoveFile " + path); }
  void RemoveWorkFolder(const std::wstring& folder) override {
    calls.push_back(L"RemoveWorkFolder " + folder);
  }
  void ListSerialPorts(ItemList& list) override {
    calls.push_back(L"ListSerialPorts");
    list.Clear();
    for (const std::wstring& port : ports) {
      list.Add(port);
    }
    if (duringPortListing) {
      duringPortListing();
    }
  }
  int RunHidden(const std::wstring& commandLine, const LineHandler& onLine) override {
    calls.push_back(L"RunHidden " + commandLine);
    for (const std::wstring& line : toolOutput) {
      onLine(line);
      if (afterEachToolLine) {
        afterEachToolLine();
      }
    }
    return exitCode;
  }
  void OpenAddress(const std::wstring& address) override {
    calls.push_back(L"OpenAddress " + address);
    if (duringOpenAddress) {
      duringOpenAddress();
    }
  }
  std::function<void()> duringOpenAddress;  // may throw

  int CountOf(std::wstring_view prefix) const {
    int count = 0;
    for (const std::wstring& call : calls) {
      count += call.starts_with(prefix) ? 1 : 0;
    }
    return count;
  }
};

class WindowTest : public WindowUserTest {
 public:
  MainWindow& Open() { return OpenWith(services_); }

  FakeServices services_;
};
