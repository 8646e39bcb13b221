// Starts programs in turn and reports, for each start, the time from CreateProcessW to the
// first paint of its window: the window is visible and neither it nor any visible control on
// it has anything left to paint. Then the window is closed with WM_CLOSE, as the user would.
//
//   bench_first_paint --repeat N <label>=<program> [<label>=<program> ...]
//
// Prints "startup.<label> <ms>" per start; the first start of each program warms the caches
// and is not printed. The programs take turns, so that drift on the machine hits them alike.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support_win32.h"
#include "win32/unique_handle.h"

namespace {

constexpr DWORD kWindowWaitMs = 60'000;
constexpr DWORD kExitWaitMs = 30'000;

struct WindowSearch {
  DWORD processId = 0;
  HWND window = nullptr;
};

BOOL CALLBACK FindShownTopLevel(HWND hwnd, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(hwnd, &processId);
  if (processId == search->processId && GetWindow(hwnd, GW_OWNER) == nullptr &&
      IsWindowVisible(hwnd)) {
    search->window = hwnd;
    return FALSE;
  }
  return TRUE;
}

bool NothingToPaint(HWND hwnd) {
  return GetUpdateRect(hwnd, nullptr, FALSE) == FALSE;
}

BOOL CALLBACK FindUnpaintedControl(HWND hwnd, LPARAM context) {
  if (IsWindowVisible(hwnd) && !NothingToPaint(hwnd)) {
    *reinterpret_cast<bool*>(context) = false;
    return FALSE;
  }
  return TRUE;
}

// The window and every visible control on it are painted.
bool Painted(HWND window) {
  if (!NothingToPaint(window)) {
    return false;
  }
  bool painted = true;
  EnumChildWindows(window, FindUnpaintedControl, reinterpret_cast<LPARAM>(&painted));
  return painted;
}

// One start: milliseconds to the first paint.
double TimeFirstPaint(const std::wstring& program) {
  std::wstring commandLine = bench::Quoted(program);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const bench::Stopwatch clock;
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    bench::Fail("cannot start the program");
  }
  const UniqueProcess child(info);
  WaitForInputIdle(child.process.get(), kWindowWaitMs);

  WindowSearch search{info.dwProcessId, nullptr};
  double milliseconds = 0;
  for (;;) {
    search.window = nullptr;
    EnumWindows(FindShownTopLevel, reinterpret_cast<LPARAM>(&search));
    if (search.window != nullptr && Painted(search.window)) {
      milliseconds = clock.Milliseconds();
      break;
    }
    if (WaitForSingleObject(child.process.get(), 0) == WAIT_OBJECT_0) {
      bench::Fail("the program ended before its window was painted");
    }
    if (clock.Milliseconds() > kWindowWaitMs) {
      TerminateProcess(child.process.get(), 1);
      bench::Fail("no painted window within a minute");
    }
    Sleep(1);
  }

  PostMessageW(search.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(child.process.get(), kExitWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(child.process.get(), 1);
    bench::Fail("the program did not end after WM_CLOSE");
  }
  DWORD code = 1;
  if (!GetExitCodeProcess(child.process.get(), &code) || code != 0) {
    bench::Fail("the program ended with an exit code other than 0");
  }
  return milliseconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long long repeat = bench::NumberOption(argc, argv, L"--repeat", 5);
  std::vector<std::pair<std::string, std::wstring>> programs;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--repeat") {
      ++i;
      continue;
    }
    const std::size_t equals = argument.find(L'=');
    if (equals == std::wstring::npos) {
      bench::Fail("arguments are --repeat N and label=program");
    }
    std::string label;
    for (wchar_t c : argument.substr(0, equals)) {
      label += static_cast<char>(c);
    }
    std::wstring program = argument.substr(equals + 1);
    if (program.starts_with(L'/')) {
      program = L"Z:" + program;
    }
    for (wchar_t& c : program) {
      c = c == L'/' ? L'\\' : c;
    }
    programs.emplace_back(std::move(label), std::move(program));
  }
  if (programs.empty()) {
    bench::Fail("no program to start");
  }

  // Under Wine the desktop process ends when no program uses the desktop any more, and the
  // next program to open a window waits for a new one. On Windows the desktop is always
  // there: a hidden window of this launcher keeps it so for every start.
  const HWND keepDesktop = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                           nullptr, GetModuleHandleW(nullptr), nullptr);
  if (keepDesktop == nullptr) {
    bench::Fail("cannot open a window on the desktop");
  }

  for (long long round = 0; round <= repeat; ++round) {
    for (const auto& [label, program] : programs) {
      const double milliseconds = TimeFirstPaint(program);
      if (round > 0) {
        bench::Print("startup." + label, milliseconds);
      }
    }
  }
  DestroyWindow(keepDesktop);
  return 0;
}
