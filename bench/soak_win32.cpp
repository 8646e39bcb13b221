// Load held: whole cycles through the real window with the real services and the embedded
// simulated tool at no delay (model chosen, port list opened, port chosen and probed, flash),
// with what the process holds noted at the start, after 10 cycles and after the last.
//
//   bench_soak [--cycles 200] [--empty-log]
//
// Every cycle is checked: it must end with the flash's success and leave the lists ready for
// the next one. With --empty-log the log is emptied after each cycle, so that what grows then
// is not the log's text. The figures are only printed, named soak.kept.* or soak.emptied.*.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "app/win32/main_window_win32.h"
#include "app/win32/system_services_win32.h"
#include "app/win32/window_helpers_win32.h"
#include "bench/bench_support_win32.h"

namespace {

constexpr std::wstring_view kLastLineOfASuccess =
    L"\u27A1 if your device is not restarting, turn it off and on again.";

// Wine answers 0 to GetProcessHandleCount, so every handle value is asked about in turn.
long long OpenHandleCount() {
  long long count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
    }
  }
  return count;
}

// The user at the window: mouse messages to the real controls, each action dispatched
// through the program's own loop step until nothing is left.
class User {
 public:
  explicit User(MainWindow& window) : window_(window) {}

  void Pump() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message != WM_QUIT) {
        window_.Dispatch(msg);
      }
    }
  }

  void Click(HWND hwnd, POINT at) {
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, where);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, where);
    Pump();
  }

  void ClickMiddle(FormControl control) {
    HWND hwnd = window_.ControlHandle(control);
    RECT client{};
    GetClientRect(hwnd, &client);
    Click(hwnd, {client.right / 2, client.bottom / 2});
  }

  // Opens the list with its button, then clicks one of its items.
  void Choose(FormControl combo, int index) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    GetComboBoxInfo(window_.ControlHandle(combo), &info);
    Click(window_.ControlHandle(combo), {(info.rcButton.left + info.rcButton.right) / 2,
                                         (info.rcButton.top + info.rcButton.bottom) / 2});
    if (!IsWindowVisible(info.hwndList)) {
      bench::Fail("a list did not open");
    }
    RECT item{};
    SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));
    Click(info.hwndList, {(item.left + item.right) / 2, (item.top + item.bottom) / 2});
  }

 private:
  MainWindow& window_;
};

// The windows of this thread and their children: what of the USER objects can be counted
// where GetGuiResources answers 0 (Wine).
long long WindowCount() {
  long long count = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM counted) -> BOOL {
        ++*reinterpret_cast<long long*>(counted);
        EnumChildWindows(
            hwnd,
            [](HWND, LPARAM inner) -> BOOL {
              ++*reinterpret_cast<long long*>(inner);
              return TRUE;
            },
            counted);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

void Note(const std::string& prefix) {
  bench::Print(prefix + ".private", bench::PrivateBytes());
  bench::Print(prefix + ".gdi",
               static_cast<long long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)));
  bench::Print(prefix + ".user",
               static_cast<long long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)));
  bench::Print(prefix + ".windows", WindowCount());
  bench::Print(prefix + ".handles", OpenHandleCount());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long long cycles = bench::NumberOption(argc, argv, L"--cycles", 200);
  bool emptyLog = false;
  for (int i = 1; i < argc; ++i) {
    emptyLog = emptyLog || std::wstring_view(argv[i]) == L"--empty-log";
  }
  const std::string figures = emptyLog ? "soak.emptied." : "soak.kept.";

  DisableProcessWindowsGhosting();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SetEnvironmentVariableW(L"VTF_SIM_PORTS", L"COM7=esp32s3");

  // One port, COM7, in a scratch key laid out like the system's.
  const std::wstring portsKey =
      L"Software\\VantorTrackerFlasherBench\\soak-" + std::to_wstring(GetCurrentProcessId());
  {
    UniqueKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, portsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
      bench::Fail("cannot make the port key");
    }
    const std::wstring port = L"COM7";
    RegSetValueExW(key.get(), L"\\Device\\Serial0", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
  }

  {
    Win32SystemServices services(HKEY_CURRENT_USER, portsKey);
    MainWindow window(GetModuleHandleW(nullptr), services);
    window.Show(SW_SHOWNORMAL);
    User user(window);
    user.Pump();
    const Form1Controls views = window.Views();

    HWND log = window.ControlHandle(FormControl::MemoLog);
    Note(figures + "start");
    long long logChars = GetWindowTextLengthW(log);
    bench::Print(figures + "start.log_chars", logChars);
    for (long long cycle = 1; cycle <= cycles; ++cycle) {
      user.Choose(FormControl::ComboDevice, 2);   // M5Stick S3
      user.Choose(FormControl::ComboBoxPort, 1);  // COM7
      user.ClickMiddle(FormControl::ButtonFlash);
      // Only a success puts both lists back to their first entry. The text is read at the
      // figures alone: reading it at each cycle would grow the bench's own memory with it.
      if (views.ComboDevice.ItemIndex() != 0 || views.ComboBoxPort.ItemIndex() != 0) {
        bench::Fail("a cycle did not end with the flash's success");
      }
      if (emptyLog) {
        logChars += GetWindowTextLengthW(log);
        SetWindowTextW(log, L"");
        user.Pump();
      }
      if (cycle == 10 || cycle == cycles) {
        const std::string prefix = figures + std::to_string(cycle);
        Note(prefix);
        // Every character written to the log so far, emptied or not.
        bench::Print(prefix + ".log_chars", emptyLog ? logChars : GetWindowTextLengthW(log));
        if (!emptyLog && !HwndText(log).ends_with(std::wstring(kLastLineOfASuccess) + L"\r\n")) {
          bench::Fail("the log does not end with the flash's success");
        }
      }
    }
    bench::Print(figures + "cycles", cycles);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, portsKey.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantorTrackerFlasherBench");

  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}
