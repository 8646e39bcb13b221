// RunHiddenProcess through the real pipe and process calls, with the simulated tool as the
// child: its behaviour is set through the environment, which the child inherits.
#include "runner/win32/process_runner_win32.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/controls.h"
#include "runner/output_filter.h"
#include "win32/unique_handle.h"

namespace {

using namespace std::string_view_literals;
using Lines = std::vector<std::wstring>;

// A build-tree path as Wine sees it: the Unix root is drive Z:.
std::wstring WindowsPath(std::string_view path) {
  std::wstring result = path.starts_with('/') ? L"Z:" : L"";
  for (char c : path) {
    result += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  }
  return result;
}

std::wstring SimulatorPath() {
  return WindowsPath(VTF_ESPTOOL_SIM);
}

std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

std::wstring ProbeCommand() {
  return Quoted(SimulatorPath()) + L" --chip auto --port COM7 chip_id";
}

// Wine answers 0 to GetProcessHandleCount, so every handle value is asked about in turn.
int OpenHandleCount() {
  int count = 0;
  for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++count;
    }
  }
  return count;
}

// The running simulator started by the process, opened to wait on and end.
UniqueHandle OpenSimulatorChildOf(DWORD parentId) {
  const std::wstring path = SimulatorPath();
  const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == parentId && ::lstrcmpiW(entry.szExeFile, name.c_str()) == 0) {
      return UniqueHandle(
          ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    }
  }
  return {};
}

UniqueHandle OpenSimulatorChild() {
  return OpenSimulatorChildOf(::GetCurrentProcessId());
}

constexpr const wchar_t* kSimulatorSettings[] = {
    L"VTF_SIM_PORTS", L"VTF_SIM_EXIT_CODE",  L"VTF_SIM_OUTPUT", L"VTF_SIM_LINES",
    L"VTF_SIM_BYTES", L"VTF_SIM_TIME_SCALE", L"VTF_SIM_LOG",    L"VTF_SIM_CHILD",
};

// ---- The tool's own child ----------------------------------------------------------------------

// A scratch file for the simulator's log, removed with the object.
class ToolLog {
 public:
  ToolLog() {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    path_ =
        std::wstring(temp) + L"vtf-runner-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ::DeleteFileW(path_.c_str());
  }
  ~ToolLog() { ::DeleteFileW(path_.c_str()); }
  ToolLog(const ToolLog&) = delete;
  ToolLog& operator=(const ToolLog&) = delete;

  const std::wstring& Path() const { return path_; }

  // The process id that the simulator noted for the child it started, or 0 before that.
  DWORD ChildId() const {
    UniqueFile file(::CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char text[4096] = {};
    DWORD count = 0;
    if (!file || !::ReadFile(file.get(), text, sizeof(text) - 1, &count, nullptr)) {
      return 0;
    }
    const char* found = std::strstr(text, "child: ");
    return found == nullptr ? 0 : static_cast<DWORD>(std::strtoul(found + 7, nullptr, 10));
  }

 private:
  std::wstring path_;
};

UniqueHandle OpenToWaitAndEnd(DWORD processId) {
  return UniqueHandle(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId));
}

// Whether the process ends within a few seconds; one that does not is ended here, so that it
// holds nothing of the next test.
bool EndsSoon(const UniqueHandle& process) {
  constexpr DWORD kPatienceMs = 10000;
  if (::WaitForSingleObject(process.get(), kPatienceMs) == WAIT_OBJECT_0) {
    return true;
  }
  ::TerminateProcess(process.get(), 1);
  ::WaitForSingleObject(process.get(), INFINITE);
  return false;
}

// Ends a process if it is still running when the test's patience runs out: a run that would
// wait for ever fails the test instead of holding it.
class Deadline {
 public:
  explicit Deadline(HANDLE process) : process_(process) {
    thread_.reset(::CreateThread(nullptr, 0, &Deadline::Watch, this, 0, nullptr));
  }
  ~Deadline() { Disarm(); }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  // Whether the patience ran out.
  bool Disarm() {
    if (thread_) {
      ::SetEvent(done_.get());
      ::WaitForSingleObject(thread_.get(), INFINITE);
      thread_.reset();
    }
    return expired_;
  }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* deadline = static_cast<Deadline*>(self);
    constexpr DWORD kPatienceMs = 30000;
    if (::WaitForSingleObject(deadline->done_.get(), kPatienceMs) == WAIT_TIMEOUT) {
      deadline->expired_ = true;
      ::TerminateProcess(deadline->process_, 1);
    }
    return 0;
  }

  HANDLE process_;
  UniqueHandle done_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle thread_;
  bool expired_ = false;
};

struct Outcome {
  int exitCode;
  Lines lines;
};

class Runner : public testing::Test {
 protected:
  void SetUp() override {
    Reset();
    Set(L"VTF_SIM_PORTS", L"COM7=esp32s3");
  }
  void TearDown() override { Reset(); }

  static void Set(const wchar_t* name, const wchar_t* value) {
    ::SetEnvironmentVariableW(name, value);
  }
  static void Reset() {
    for (const wchar_t* name : kSimulatorSettings) {
      ::SetEnvironmentVariableW(name, nullptr);
    }
  }

  // Every run must leave the handle count where it found it.
  static Outcome RunCommand(const std::wstring& commandLine) {
    const int before = OpenHandleCount();
    Outcome run{};
    run.exitCode = RunHiddenProcess(commandLine,
                                    [&](std::wstring_view line) { run.lines.emplace_back(line); });
    EXPECT_EQ(OpenHandleCount(), before) << "handles left open";
    return run;
  }
};

TEST_F(Runner, ExitCodeIsTheToolsBitForBit) {
  const struct {
    const wchar_t* ports;
    const wchar_t* forcedExit;
    int expected;
  } cases[] = {
      {L"COM7=esp32s3", nullptr, 0},              // success
      {L"COM8=esp32s3", nullptr, 2},              // no device on COM7
      {L"COM7=esp32s3", L"1", 1},                 // a serial error
      {L"COM7=esp32s3", L"2147483648", INT_MIN},  // the sign bit
      {L"COM7=esp32s3", L"4294967295", -1},       // 0xFFFFFFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "forced " << (c.forcedExit ? c.forcedExit : L"-"));
    Set(L"VTF_SIM_PORTS", c.ports);
    Set(L"VTF_SIM_EXIT_CODE", c.forcedExit);
    const Outcome run = RunCommand(ProbeCommand());
    EXPECT_EQ(run.exitCode, c.expected);
    EXPECT_NE(std::find(run.lines.begin(), run.lines.end(), L"esptool v5.3.1"), run.lines.end());
  }
}

TEST_F(Runner, ProgramThatCannotStartGivesMinusOneAndNoLine) {
  const std::wstring folder = SimulatorPath().substr(0, SimulatorPath().find_last_of(L'\\') + 1);
  const std::wstring commands[] = {
      Quoted(folder + L"no-such-tool.exe") + L" --chip auto --port COM7 chip_id",
      Quoted(L"Z:\\no\\such\\folder\\esptool.exe") + L" chip_id",
      L"",
  };
  for (const std::wstring& command : commands) {
    SCOPED_TRACE(testing::Message() << command);
    const Outcome run = RunCommand(command);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.lines, Lines{});
  }
}

// Each output variant of the simulator against its plain output: what the variant adds comes
// first, and the tool's own lines must arrive as they do in plain output.
TEST_F(Runner, OutputShapesReachTheHandlerAsLines) {
  const Outcome plain = RunCommand(ProbeCommand());
  ASSERT_EQ(plain.exitCode, 0);
  ASSERT_GT(plain.lines.size(), 5u);

  std::wstring longLine = L"Long line begins ";
  for (int i = 0; longLine.size() + 15 < 3000; ++i) {
    longLine += static_cast<wchar_t>(L'0' + i % 10);
  }
  longLine += L" long line ends";

  const struct {
    const wchar_t* output;
    Lines first;
    bool lastLineLost;
  } cases[] = {
      {L"silent", {}, false},
      {L"crlf", {}, false},
      {L"nofinalnewline", {}, true},
      {L"crlf,nofinalnewline", {}, true},
      {L"cr", {L"Carriage return here\rand the line goes on"}, false},
      {L"cr,crlf", {L"Carriage return here\rand the line goes on"}, false},
      // The NULs stay in the lines; the NUL after the wide line's feed is trimmed away.
      {L"nul",
       {std::wstring(L"NUL here\0and the line goes on"sv),
        std::wstring(L"W\0i\0d\0e\0 \0l\0i\0n\0e"sv)},
       false},
      {L"blank", {L"", L"", L""}, false},
      {L"stderr",
       {L"Interleaved line 1 on standard output", L"Interleaved line 2 on standard error",
        L"Interleaved line 3 on standard output", L"Interleaved line 4 on standard error"},
       false},
      {L"longline", {longLine}, false},
      {L"longline,crlf,blank", {longLine, L"", L"", L""}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.output);
    Set(L"VTF_SIM_OUTPUT", c.output);
    const Outcome run = RunCommand(ProbeCommand());
    EXPECT_EQ(run.exitCode, 0);
    Lines expected;
    if (std::wstring_view(c.output) != L"silent") {
      expected = c.first;
      expected.insert(expected.end(), plain.lines.begin(),
                      plain.lines.end() - (c.lastLineLost ? 1 : 0));
    }
    EXPECT_EQ(run.lines, expected);
  }
}

TEST_F(Runner, HundredThousandLinesArriveInOrder) {
  constexpr int kCount = 100000;
  const Outcome plain = RunCommand(ProbeCommand());
  Set(L"VTF_SIM_LINES", L"100000");
  const Outcome run = RunCommand(ProbeCommand());
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.lines.size(), kCount + plain.lines.size());
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(run.lines[static_cast<std::size_t>(i)],
              L"Extra line " + std::to_wstring(i + 1) + L" of 100000");
  }
  EXPECT_EQ(Lines(run.lines.begin() + kCount, run.lines.end()), plain.lines);
}

// A handler that fails abandons the run: the failure reaches the caller, the tool (which has
// far more to write than the pipe holds) is ended, and no handle stays open.
TEST_F(Runner, FailingHandlerEndsTheToolAndClosesEverything) {
  struct Refused {};
  Set(L"VTF_SIM_LINES", L"100000");
  // The first exception of a process opens a few handles of Wine's own, for good.
  try {
    throw Refused{};
  } catch (const Refused&) {
  }
  const int before = OpenHandleCount();
  UniqueHandle tool;
  int calls = 0;
  EXPECT_THROW(RunHiddenProcess(ProbeCommand(),
                                [&](std::wstring_view) {
                                  ++calls;
                                  tool = OpenSimulatorChild();
                                  throw Refused{};
                                }),
               Refused);
  EXPECT_EQ(calls, 1);
  ASSERT_TRUE(tool) << "the tool was not found among this process's children";
  if (::WaitForSingleObject(tool.get(), 0) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the tool is still running";
    ::TerminateProcess(tool.get(), 1);  // or it would hold this test's output open
  }
  tool.reset();
  EXPECT_EQ(OpenHandleCount(), before);
}

// A child that the tool leaves running, holding no end of the pipe: the run ends with the tool,
// and the child with the run.
TEST_F(Runner, AChildThatTheToolLeavesRunningEndsWithTheRun) {
  const Outcome plain = RunCommand(ProbeCommand());
  ToolLog log;
  Set(L"VTF_SIM_LOG", log.Path().c_str());
  Set(L"VTF_SIM_CHILD", L"apart");
  UniqueHandle child;
  std::optional<Deadline> deadline;
  Outcome run{};
  run.exitCode = RunHiddenProcess(ProbeCommand(), [&](std::wstring_view line) {
    if (!child) {
      child = OpenToWaitAndEnd(log.ChildId());
      if (child) {
        deadline.emplace(child.get());
      }
    }
    run.lines.emplace_back(line);
  });
  ASSERT_TRUE(child) << "the simulator noted no child";
  EXPECT_FALSE(deadline->Disarm()) << "the run waited for the tool's child";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.lines, plain.lines);
  EXPECT_TRUE(EndsSoon(child)) << "the tool's child outlived the run";
}

TEST_F(Runner, FailingHandlerEndsTheToolsChildToo) {
  struct Refused {};
  ToolLog log;
  Set(L"VTF_SIM_LOG", log.Path().c_str());
  Set(L"VTF_SIM_CHILD", L"1");
  Set(L"VTF_SIM_LINES", L"100000");
  UniqueHandle child;
  EXPECT_THROW(RunHiddenProcess(ProbeCommand(),
                                [&](std::wstring_view) {
                                  child = OpenToWaitAndEnd(log.ChildId());
                                  throw Refused{};
                                }),
               Refused);
  ASSERT_TRUE(child) << "the simulator noted no child";
  EXPECT_TRUE(EndsSoon(child)) << "the tool's child outlived the abandoned run";
}

// The program that runs the tool is killed during the run (from Task Manager, say): neither
// the tool nor its child may go on.
TEST_F(Runner, KillingTheProgramEndsEveryProcessOfItsTool) {
  ToolLog log;
  Set(L"VTF_SIM_LOG", log.Path().c_str());
  Set(L"VTF_SIM_CHILD", L"1");
  Set(L"VTF_SIM_TIME_SCALE", L"100");  // the probe takes minutes
  std::wstring command = Quoted(WindowsPath(VTF_RUN_TOOL_HOST)) + L" " + ProbeCommand();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &info));
  UniqueProcess host(info);

  UniqueHandle child;
  for (int wait = 0; wait < 600 && !child; ++wait) {
    ::Sleep(50);
    if (const DWORD id = log.ChildId(); id != 0) {
      child = OpenToWaitAndEnd(id);
    }
  }
  ASSERT_TRUE(child) << "the simulator noted no child";
  UniqueHandle tool = OpenSimulatorChildOf(info.dwProcessId);
  ASSERT_TRUE(tool) << "the tool was not found among the program's children";
  ASSERT_EQ(::WaitForSingleObject(tool.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_TRUE(::TerminateProcess(host.process.get(), 1));
  ::WaitForSingleObject(host.process.get(), INFINITE);
  EXPECT_TRUE(EndsSoon(tool)) << "the tool outlived the program";
  EXPECT_TRUE(EndsSoon(child)) << "the tool's child outlived the program";
}

// Each read is decoded by itself from the ANSI code page. The simulator writes E2 9C 94 at
// stream offsets 1023-1025, so the first 1024-byte read ends after E2. CTest runs this suite
// once under code page 1252 and once under 932 (a double-byte code page).
class RunnerDecoding : public Runner {};

TEST_F(RunnerDecoding, HighBytesAreDecodedOneReadAtATime) {
  // The code page that CTest's locale for this run should give.
  wchar_t expectedCodePage[16] = L"";
  ::GetEnvironmentVariableW(L"VTF_TEST_ACP", expectedCodePage, 16);
  ASSERT_EQ(std::to_wstring(::GetACP()), expectedCodePage);
  Set(L"VTF_SIM_OUTPUT", L"highbytes");
  const Outcome run = RunCommand(ProbeCommand());
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_GE(run.lines.size(), 2u);
  const std::wstring& split = run.lines[1];
  const std::wstring_view label = L"Split sequence: ";
  ASSERT_TRUE(split.starts_with(label)) << testing::PrintToString(split);
  const std::size_t xs = split.find_first_not_of(L'x', label.size()) - label.size();
  // With the label and the first line, the x's fill the stream up to offset 1023.
  EXPECT_GT(xs, 900u);

  switch (::GetACP()) {
    case 1252:
      // One character per byte: the split changes nothing, and 0x80 is the euro sign.
      EXPECT_EQ(run.lines[0],
                L"High bytes: caf\u00E9 na\u00EFve 20\u00B0C \u00A9 \u00B5s \u20AC \u00FF");
      EXPECT_EQ(split.substr(label.size() + xs), L"\u00E2\u0153\u201D end");
      break;
    case 932:
      // Decoded whole, E2 9C would make U+7B28. Decoded per read, E2 is a lead byte cut off
      // at the end of the first read (it becomes a stand-in character), and 9C 94 pair up
      // in the second read as U+6043.
      EXPECT_EQ(split.find(L'\u7B28'), std::wstring::npos) << testing::PrintToString(split);
      EXPECT_TRUE(split.ends_with(L"\u6043 end")) << testing::PrintToString(split);
      EXPECT_EQ(split.size(), label.size() + xs + 1 + 5);
      break;
    default:
      FAIL() << "no expectation for code page " << ::GetACP();
  }
}

// The window's views, forwarding to real controls and noting what the controls then hold.
class EditLog final : public LineSink {
 public:
  explicit EditLog(HWND edit) : edit_(edit) {}
  void Add(std::wstring_view line) override {
    const int end = ::GetWindowTextLengthW(edit_);
    ::SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
    const std::wstring text = std::wstring(line) + L"\r\n";
    ::SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }
  Lines Shown() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    Lines lines;
    for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
         start = end + 2) {
      lines.push_back(text.substr(start, end - start));
    }
    return lines;
  }

 private:
  HWND edit_;
};

class BarView final : public ProgressBar {
 public:
  explicit BarView(HWND bar) : bar_(bar) {}
  void SetPosition(int position) override {
    ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::RedrawWindow(bar_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    shown.push_back(static_cast<int>(::SendMessageW(bar_, PBM_GETPOS, 0, 0)));
  }
  std::vector<int> shown;  // what the bar holds after each new position

 private:
  HWND bar_;
};

// The window's line step: the detection line to the log, chatter dropped, the rest shown,
// and the percentage of shown and empty lines to the bar.
void FilterOutputLine(std::wstring_view line, LineSink& log, ProgressBar& bar) {
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
    bar.SetPosition(*position);
  }
}

using UniqueWindow = UniqueAny<WindowTraits>;

TEST_F(Runner, FlashTranscriptInRealControls) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_PROGRESS_CLASS};
  ASSERT_TRUE(::InitCommonControlsEx(&init));
  UniqueWindow frame(::CreateWindowExW(0, L"STATIC", L"runner", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                                       nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(frame);
  HWND edit = ::CreateWindowExW(
      0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 0, 0,
      580, 300, frame.get(), nullptr, nullptr, nullptr);
  HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 310, 580, 20,
                               frame.get(), nullptr, nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  ASSERT_NE(bar, nullptr);
  ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  ::ShowWindow(frame.get(), SW_SHOWNOACTIVATE);
  EditLog log(edit);
  BarView progress(bar);

  const std::wstring images = WindowsPath(VTF_PAYLOAD_FOLDER) + L"\\";
  const std::wstring command =
      Quoted(SimulatorPath()) + L" --chip esp32s3 --port COM7 --baud 460800 write-flash 0x0 " +
      Quoted(images + L"s3_bootloader.bin") + L" 0x8000 " + Quoted(images + L"s3_partitions.bin") +
      L" 0x10000 " + Quoted(images + L"s3_firmware.bin");
  const int exitCode = RunHiddenProcess(
      command, [&](std::wstring_view line) { FilterOutputLine(line, log, progress); });
  EXPECT_EQ(exitCode, 0);

  // Shown: the tool's own steps and its progress lines; the chatter is gone.
  const Lines shown = log.Shown();
  Lines steps;
  int writingLines = 0;
  for (const std::wstring& line : shown) {
    if (line.starts_with(L"Writing at 0x")) {
      ++writingLines;
    } else {
      steps.push_back(line.starts_with(L"Writing '")              ? L"Writing '"
                      : line.starts_with(L"Flash will be erased") ? L"Flash will be erased"
                      : line.starts_with(L"Compressed ")          ? L"Compressed"
                      : line.starts_with(L"Wrote ")               ? L"Wrote"
                                                                  : line);
    }
  }
  Lines expected = {L"Changing baud rate to 460800...", L"Changed.", L"Configuring flash size..."};
  for (int image = 0; image < 3; ++image) {
    expected.insert(expected.end(), {L"Writing '", L"Flash will be erased", L"Compressed", L"Wrote",
                                     L"Verifying written data...", L"Hash of data verified."});
  }
  EXPECT_EQ(steps, expected) << testing::PrintToString(shown);

  // Every position came from a shown "Writing at" line. Each image starts again at 0 and
  // climbs to a full bar.
  EXPECT_EQ(progress.shown.size(), static_cast<std::size_t>(writingLines));
  std::vector<std::vector<int>> perImagePositions;
  for (std::size_t i = 0; i < progress.shown.size(); ++i) {
    if (i == 0 || progress.shown[i] < progress.shown[i - 1]) {
      perImagePositions.emplace_back();
    }
    perImagePositions.back().push_back(progress.shown[i]);
  }
  ASSERT_EQ(perImagePositions.size(), 3u) << testing::PrintToString(progress.shown);
  for (const std::vector<int>& positions : perImagePositions) {
    EXPECT_EQ(positions.front(), 0) << testing::PrintToString(positions);
    EXPECT_EQ(positions.back(), 100) << testing::PrintToString(positions);
  }
}

}  // namespace
