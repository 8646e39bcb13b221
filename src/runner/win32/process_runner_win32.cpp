#include "runner/win32/process_runner_win32.h"

#include <windows.h>

#include <string>

#include "win32/unique_handle.h"

namespace {

constexpr DWORD kReadSize = 1024;

// How long a tool whose lines nobody takes any more may take to end by itself.
constexpr DWORD kWindUpGraceMs = 1000;

// One read, decoded by itself from the ANSI code page: a character whose bytes fall into two
// reads is not put back together.
std::wstring DecodeAnsi(const char* bytes, DWORD count) {
  const int size = static_cast<int>(count);
  const UINT codePage = ::GetACP();
  const int length = ::MultiByteToWideChar(codePage, 0, bytes, size, nullptr, 0);
  if (length <= 0) {
    return {};
  }
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  const int written = ::MultiByteToWideChar(codePage, 0, bytes, size, text.data(), length);
  text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return text;
}

// Exit code of the tool's processes that are ended instead of ending by themselves.
constexpr UINT kEndedExitCode = 1;

// The tool and whatever it starts (the launcher of a one-file packed tool starts the real tool
// as its child) run in one job that ends them all when its handle closes: at the end of the
// run, and when this program ends, killed included. A process of the tool that keeps an
// inherited write end open keeps the output open too, so a normal run still reads until every
// such process is done with it.
class ToolJob {
 public:
  explicit ToolJob(HANDLE process) : process_(process) {
    job_.reset(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job_ ||
        !::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                   sizeof(limits)) ||
        !::AssignProcessToJobObject(job_.get(), process_)) {
      job_.reset();  // the tool alone is ended then
    }
  }
  ~ToolJob() { End(); }
  ToolJob(const ToolJob&) = delete;
  ToolJob& operator=(const ToolJob&) = delete;

  bool HoldsTheTool() const { return static_cast<bool>(job_); }

  // Ends every process of the tool that still runs, and waits for the tool.
  void End() noexcept {
    if (!job_) {
      return;
    }
    ::TerminateJobObject(job_.get(), kEndedExitCode);
    ::WaitForSingleObject(process_, INFINITE);
    job_.reset();
  }

 private:
  HANDLE process_;  // the tool's, owned by the run
  UniqueHandle job_;
};

// The line handler failed: the run is abandoned, its lines and exit code unwanted. The tool
// holds a read end of its own (both ends are inherited), so closing ours does not make its
// writes fail; a tool with more to say would stay blocked on the full pipe. It gets a moment
// to end by itself, then it is ended with every process it started, so that none outlives the
// run.
void WindUp(UniqueHandle& readEnd, UniqueProcess& tool, ToolJob& job) noexcept {
  readEnd.reset();
  if (::WaitForSingleObject(tool.process.get(), kWindUpGraceMs) != WAIT_OBJECT_0 &&
      !job.HoldsTheTool() && ::TerminateProcess(tool.process.get(), kEndedExitCode)) {
    ::WaitForSingleObject(tool.process.get(), INFINITE);
  }
  job.End();
  tool.process.reset();
  tool.thread.reset();
}

}  // namespace

int RunHiddenProcess(const std::wstring& commandLine, const LineHandler& onLine) {
  int exitCode = -1;

  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof(security);
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  if (!::CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) {
    return exitCode;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();

  // CreateProcessW may write into the command line.
  std::wstring writableCommandLine = commandLine;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, writableCommandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    return exitCode;
  }
  UniqueProcess tool(info);
  ToolJob job(tool.process.get());
  // Only the tool may hold a write end, so that its end is the end of the output.
  writeEnd.reset();

  try {
    LineCutter cutter;
    char buffer[kReadSize];
    DWORD count = 0;
    while (::ReadFile(readEnd.get(), buffer, kReadSize, &count, nullptr) && count > 0) {
      cutter.Feed(DecodeAnsi(buffer, count), onLine);
    }
    // Whatever followed the last line feed is dropped with the cutter.
  } catch (...) {
    WindUp(readEnd, tool, job);
    throw;
  }

  ::WaitForSingleObject(tool.process.get(), INFINITE);
  DWORD code = 0;
  if (::GetExitCodeProcess(tool.process.get(), &code)) {
    exitCode = static_cast<int>(code);
  }

  readEnd.reset();
  job.End();  // whatever the tool left running ends with the run
  tool.process.reset();
  tool.thread.reset();
  return exitCode;
}
