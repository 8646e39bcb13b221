// The log under load: the real window with the real services, shown, and the simulated tool's
// lines run through RunHiddenProcess and the window's line step (FilterLine, then the log's
// Add, and the progress bar for a percentage) into MemoLog.
//
//   bench_log [--lines 10000,100000] [--repeat N] [--modes view,perline]
//
// Mode "view" appends through the window's own MemoLog view. Mode "perline" replaces the
// text box's end once per line, as the view did before it kept a run's lines for one
// replacement. Each run starts on a fresh window, is timed to the end of the loop round that
// follows it (where the log is painted), and is checked: every line of the tool kept, in
// order, and every mode leaves the same text.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "app/win32/main_window_win32.h"
#include "app/win32/system_services_win32.h"
#include "app/win32/window_helpers_win32.h"
#include "bench/bench_support_win32.h"
#include "runner/output_filter.h"
#include "runner/win32/process_runner_win32.h"

namespace {

// One replacement per line, straight into the text box: how the log appended before it kept
// a run's lines for one replacement. Kept here to show what that change is worth.
class PerLineLog final : public LineSink {
 public:
  explicit PerLineLog(HWND edit) : edit_(edit) {}
  void Add(std::wstring_view line) override {
    const std::wstring appended = std::wstring(line) + L"\r\n";
    const int length = GetWindowTextLengthW(edit_);
    SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(appended.c_str()));
    SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
  }

 private:
  HWND edit_;
};

void PumpMessages(MainWindow& window) {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message != WM_QUIT) {
      window.Dispatch(msg);
    }
  }
}

std::vector<long long> NumberList(const std::wstring& text) {
  std::vector<long long> numbers;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find(L',', start);
    if (end == std::wstring::npos) {
      end = text.size();
    }
    numbers.push_back(std::stoll(text.substr(start, end - start)));
    start = end + 1;
  }
  return numbers;
}

// The tool's "Extra line i of N" rows, 1 to N in order: how many of them the log kept.
long long KeptExtraLines(const std::wstring& text, long long total) {
  const std::wstring suffix = L" of " + std::to_wstring(total);
  long long next = 1;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      end = text.size();
    }
    const std::wstring_view row(text.data() + start, end - start);
    if (row == L"Extra line " + std::to_wstring(next) + suffix) {
      ++next;
    }
    start = end + 2;
  }
  return next - 1;
}

struct RunResult {
  double milliseconds = 0;
  std::wstring text;
};

RunResult RunIntoLog(const std::wstring& mode, long long lines) {
  Win32SystemServices services;
  MainWindow window(GetModuleHandleW(nullptr), services);
  window.Show(SW_SHOWNORMAL);
  PumpMessages(window);

  const Form1Controls views = window.Views();
  HWND edit = window.ControlHandle(FormControl::MemoLog);
  PerLineLog perLine(edit);
  LineSink& log = mode == L"perline" ? static_cast<LineSink&>(perLine) : views.MemoLog;

  SetEnvironmentVariableW(L"VTF_SIM_LINES", std::to_wstring(lines).c_str());
  const std::wstring command =
      bench::Quoted(bench::WindowsPath(VTF_ESPTOOL_SIM)) + L" --chip auto --port COM7 chip_id";

  const bench::Stopwatch clock;
  const int code = RunHiddenProcess(command, [&](std::wstring_view line) {
    const FilteredLine filtered = FilterLine(line);
    switch (filtered.kind) {
      case FilteredLine::Kind::Detected:
        log.Add(filtered.text);
        return;
      case FilteredLine::Kind::Noise:
        return;
      case FilteredLine::Kind::Shown:
        log.Add(line);
        break;
      case FilteredLine::Kind::Empty:
        break;
    }
    if (const std::optional<int> position = ProgressFrom(line)) {
      views.ProgressBar1.SetPosition(*position);
    }
  });
  // What the user sees: the loop's next round paints the log.
  PumpMessages(window);
  RunResult result{clock.Milliseconds(), HwndText(edit)};
  if (code != 0) {
    bench::Fail("the simulated probe did not succeed");
  }
  PumpMessages(window);
  return result;
}

std::string Narrow(const std::wstring& text) {
  return {text.begin(), text.end()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<long long> counts =
      NumberList(bench::Option(argc, argv, L"--lines", L"10000,100000"));
  const long long repeat = bench::NumberOption(argc, argv, L"--repeat", 1);
  const std::wstring modeList = bench::Option(argc, argv, L"--modes", L"view,perline");

  DisableProcessWindowsGhosting();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SetEnvironmentVariableW(L"VTF_SIM_PORTS", L"COM7=esp32s3");

  std::vector<std::wstring> modes;
  for (std::size_t start = 0; start < modeList.size();) {
    std::size_t end = modeList.find(L',', start);
    if (end == std::wstring::npos) {
      end = modeList.size();
    }
    modes.push_back(modeList.substr(start, end - start));
    start = end + 1;
  }

  std::map<long long, std::wstring> firstText;
  for (long long pass = 0; pass < repeat; ++pass) {
    for (const long long lines : counts) {
      for (const std::wstring& mode : modes) {
        const RunResult run = RunIntoLog(mode, lines);
        const std::string name = "log." + Narrow(mode) + "." + std::to_string(lines);
        bench::Print(name + ".ms", run.milliseconds);
        bench::Print(name + ".kept", KeptExtraLines(run.text, lines));
        if (KeptExtraLines(run.text, lines) != lines) {
          bench::Fail("the log lost lines of the tool");
        }
        // Whatever the mode, the user sees the same log.
        const auto [first, inserted] = firstText.emplace(lines, run.text);
        if (!inserted && first->second != run.text) {
          bench::Fail("the modes left different texts in the log");
        }
      }
    }
  }

  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}
