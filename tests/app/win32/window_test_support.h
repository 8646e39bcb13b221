// What the window tests share: fake services that record every call, a fixture that opens
// the real window and pumps its messages through the program's own loop step, and helpers
// that act as the user's keyboard and mouse.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_error.h"
#include "app/system_services.h"
#include "app/win32/form_layout_win32.h"
#include "app/win32/main_window_win32.h"
#include "app/win32/window_helpers_win32.h"

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
  }

  int CountOf(std::wstring_view prefix) const {
    int count = 0;
    for (const std::wstring& call : calls) {
      count += call.starts_with(prefix) ? 1 : 0;
    }
    return count;
  }
};

class WindowTest : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }

  void TearDown() override {
    window_.reset();
    // The window's end posts WM_QUIT, which would end the next test's message boxes early.
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }

  // Creates the window (controls, then FormCreate) and shows it, as the program does.
  MainWindow& Open() {
    window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), services_);
    window_->Show(SW_SHOWNORMAL);
    SetForegroundWindow(window_->Handle());
    Pump();
    return *window_;
  }

  // Hands every queued message to the program's loop step.
  void Pump() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) {
        window_->Dispatch(msg);
      }
    }
  }

  HWND Handle(FormControl control) const { return window_->ControlHandle(control); }
  HWND Edit(FormControl combo) const { return ComboInfo(combo).hwndItem; }
  HWND List(FormControl combo) const { return ComboInfo(combo).hwndList; }
  COMBOBOXINFO ComboInfo(FormControl combo) const {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(Handle(combo), &info);
    return info;
  }

  // The log's lines: its text cut at each line break (the break after the last line ends it).
  std::vector<std::wstring> LogLines() const {
    const std::wstring text = HwndText(Handle(FormControl::MemoLog));
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) {
        lines.push_back(text.substr(start));
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }
  std::vector<std::wstring> LogLinesAfter(std::size_t count) const {
    const std::vector<std::wstring> lines = LogLines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(count, lines.size())),
            lines.end()};
  }

  // ---- the user's keyboard and mouse ----

  // A key pressed and released on the focused control, through the program's loop.
  void PressKey(UINT vk) {
    HWND target = GetFocus();
    const auto scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    PostMessageW(target, WM_KEYDOWN, vk, MAKELPARAM(1, scan));
    PostMessageW(target, WM_KEYUP, vk, MAKELPARAM(1, scan | KF_REPEAT | KF_UP));
    Pump();
  }

  // Characters typed on the focused control, as the WM_CHAR messages that the keyboard
  // layout makes of the keys (so that this thread's shift state cannot change a letter).
  void Type(std::wstring_view text) {
    for (wchar_t character : text) {
      PostMessageW(GetFocus(), WM_CHAR, character, 1);
      Pump();
    }
  }

  void Click(HWND hwnd, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, where);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
    Pump();
  }

  // Tab from the log until the focus reaches the control (a list: its field).
  void TabTo(FormControl control) {
    SetFocus(Handle(FormControl::MemoLog));
    for (int step = 0; step < 8 && !IsFocused(control); ++step) {
      PressKey(VK_TAB);
    }
    ASSERT_TRUE(IsFocused(control));
  }
  bool IsFocused(FormControl control) const {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == Handle(control) || IsChild(Handle(control), focus));
  }

  std::pair<int, int> Selection(HWND edit) const {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
  }

  FakeServices services_;
  std::unique_ptr<MainWindow> window_;
};
