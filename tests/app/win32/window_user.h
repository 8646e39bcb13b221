// The user at the real window, shared by the window tests and the end-to-end tests: a fixture
// that opens the window with the services it is given and pumps its messages through the
// program's own loop step, the keyboard and the mouse as messages to the real controls, what
// the user reads off them, and a catcher for the error box.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/system_services.h"
#include "app/win32/form_layout_win32.h"
#include "app/win32/main_window_win32.h"
#include "app/win32/window_helpers_win32.h"

class WindowUserTest : public ::testing::Test {
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
  MainWindow& OpenWith(SystemServices& services) {
    // An opened list selects the item under the pointer: keep the real one out of the way.
    SetCursorPos(GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1,
                 GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
    window_ = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), services);
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

  // The items of a list, as the opened list shows them.
  std::vector<std::wstring> ListItems(FormControl combo) const {
    std::vector<std::wstring> items;
    const auto count = SendMessageW(Handle(combo), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      const auto length = SendMessageW(Handle(combo), CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
      std::wstring item(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
      SendMessageW(Handle(combo), CB_GETLBTEXT, static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(item.data()));
      item.resize(item.find(L'\0'));
      items.push_back(std::move(item));
    }
    return items;
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

  // A key pressed with Alt held (Alt+Down opens a drop-down list).
  void PressAltKey(UINT vk) {
    HWND target = GetFocus();
    const auto scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    PostMessageW(target, WM_SYSKEYDOWN, vk, MAKELPARAM(1, scan | KF_ALTDOWN));
    PostMessageW(target, WM_SYSKEYUP, vk, MAKELPARAM(1, scan | KF_ALTDOWN | KF_REPEAT | KF_UP));
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

  // A click on the middle of a control.
  void ClickMiddle(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    Click(hwnd, {client.right / 2, client.bottom / 2});
  }

  // A click on a list's button, which opens (or closes) it.
  void ClickListButton(FormControl combo) {
    const COMBOBOXINFO info = ComboInfo(combo);
    Click(Handle(combo), {(info.rcButton.left + info.rcButton.right) / 2,
                          (info.rcButton.top + info.rcButton.bottom) / 2});
  }

  // A click on one item of a list that is open.
  void ClickListItem(FormControl combo, int index) {
    RECT item{};
    SendMessageW(List(combo), LB_GETITEMRECT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    Click(List(combo), {(item.left + item.right) / 2, (item.top + item.bottom) / 2});
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

  std::unique_ptr<MainWindow> window_;
};

// Catches this thread's message boxes as they open, notes what they show and presses OK.
class ErrorBoxCatcher {
 public:
  struct Box {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    bool errorIcon = false;
    std::vector<int> buttons;  // the identifiers of the visible buttons
  };

  ErrorBoxCatcher() {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
  }
  ~ErrorBoxCatcher() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  ErrorBoxCatcher(const ErrorBoxCatcher&) = delete;
  ErrorBoxCatcher& operator=(const ErrorBoxCatcher&) = delete;

  std::vector<Box> boxes;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && current_ != nullptr) {
      auto* box = reinterpret_cast<HWND>(wParam);
      wchar_t windowClass[16] = {};
      GetClassNameW(box, windowClass, 16);
      if (std::wstring_view(windowClass) == L"#32770") {
        current_->boxes.push_back(Read(box));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static Box Read(HWND box) {
    Box seen;
    seen.caption = HwndText(box);
    seen.owner = GetWindow(box, GW_OWNER);
    const HICON errorIcon = LoadIconW(nullptr, IDI_ERROR);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t childClass[16] = {};
      GetClassNameW(child, childClass, 16);
      const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
      const std::wstring_view kind(childClass);
      if (kind == L"Button" && (style & WS_VISIBLE) != 0) {
        seen.buttons.push_back(GetDlgCtrlID(child));
      } else if (kind == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
        seen.errorIcon =
            reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == errorIcon;
      } else if (kind == L"Static" && !HwndText(child).empty()) {
        seen.text = HwndText(child);
      }
    }
    return seen;
  }

  static inline ErrorBoxCatcher* current_ = nullptr;
  HHOOK hook_ = nullptr;
};
