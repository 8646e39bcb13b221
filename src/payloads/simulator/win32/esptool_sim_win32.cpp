// The simulated tool's Windows side: its command line and environment in, its output out
// through unbuffered writes on the standard handles, and the exit code through ExitProcess so
// that every unsigned value reaches the parent.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "payloads/simulator/sim_output.h"
#include "payloads/simulator/sim_settings.h"
#include "payloads/simulator/sim_tool.h"
#include "win32/unique_handle.h"

namespace {

std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) {
    return {};
  }
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string BytesFromWide(UINT code_page, std::wstring_view wide) {
  if (wide.empty()) {
    return {};
  }
  const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                      nullptr, nullptr);
  return bytes;
}

std::string Utf8FromWide(std::wstring_view wide) {
  return BytesFromWide(CP_UTF8, wide);
}

// Text from the command line as a program printing in the ANSI code page writes it.
std::string AnsiFromUtf8(std::string_view utf8) {
  return BytesFromWide(CP_ACP, WideFromUtf8(utf8));
}

// Whether a pipe in the ANSI code page takes the character, as the tool's runtime encodes it:
// strict, with no look-alike in place of a missing character.
bool AnsiCodePageHolds(char32_t point) {
  std::wstring wide;
  if (point < 0x10000) {
    wide += static_cast<wchar_t>(point);
  } else {
    wide += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
    wide += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  }
  const UINT code_page = GetACP();
  if (code_page == CP_UTF8) {
    return true;  // the command line holds no lone surrogate
  }
  char bytes[8] = {};
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), bytes, sizeof bytes, nullptr,
                                    &used_default);
  return n > 0 && !used_default;
}

// The codec of a pipe as the runtime's errors name it.
std::string AnsiCodecName() {
  const UINT code_page = GetACP();
  CPINFO info{};
  if (code_page == CP_UTF8) {
    return "utf-8";
  }
  if (GetCPInfo(code_page, &info) && info.MaxCharSize == 1) {
    return "charmap";
  }
  return "cp" + std::to_string(code_page);
}

// Writes everything, or stops quietly when the reader has gone.
void WriteAll(HANDLE handle, std::string_view bytes) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return;
  }
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

class StdHandleSink final : public sim::OutputSink {
 public:
  explicit StdHandleSink(double time_scale)
      : out_(GetStdHandle(STD_OUTPUT_HANDLE)),
        err_(GetStdHandle(STD_ERROR_HANDLE)),
        time_scale_(time_scale) {}

  void Write(sim::Stream stream, std::string_view bytes) override {
    WriteAll(stream == sim::Stream::kOut ? out_ : err_, bytes);
  }

  // Sleeps whole milliseconds and carries the rest, so many short pauses add up correctly.
  void Pause(double seconds) override {
    owed_ms_ += seconds * time_scale_ * 1000.0;
    if (owed_ms_ < 1.0) {
      return;
    }
    const double whole = std::floor(owed_ms_);
    Sleep(static_cast<DWORD>(whole));
    owed_ms_ -= whole;
  }

 private:
  HANDLE out_;  // the process's own handles: not ours to close
  HANDLE err_;
  double time_scale_;
  double owed_ms_ = 0;
};

std::optional<std::string> EnvironmentValue(std::string_view name) {
  const std::wstring wide_name = WideFromUtf8(name);
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      return std::nullopt;
    }
    return std::string();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
  value.resize(length);
  return Utf8FromWide(value);
}

// Opens a file the way the tool's runtime reports it: the errno it would show on failure.
sim::FileContent ReadWholeFile(const std::string& path_utf8) {
  UniqueFile file(CreateFileW(WideFromUtf8(path_utf8).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return {std::nullopt, 2};
    }
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
      return {std::nullopt, 13};
    }
    return {std::nullopt, 22};
  }
  std::string bytes;
  std::vector<char> buffer(64 * 1024);
  DWORD got = 0;
  while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got > 0) {
    bytes.append(buffer.data(), got);
  }
  return {std::move(bytes), 0};
}

void AppendToLog(const std::string& path_utf8, std::string_view line) {
  UniqueFile log(CreateFileW(WideFromUtf8(path_utf8).c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (log) {
    WriteAll(log.get(), line);
  }
}

// What the copy of VTF_SIM_CHILD is started with: it runs until it is ended.
constexpr std::wstring_view kStayArgument = L"--simulated-child-stays";

// A copy of this tool, holding the same standard handles the way a launcher starts its child,
// or holding none of them.
void StartStayingChild(const std::string& log_path, bool holdingHandles) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
  std::wstring command = L"\"" + self + L"\" " + std::wstring(kStayArgument);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  // Named standard handles, or none: without them the system would hand a console program
  // its parent's.
  startup.dwFlags = STARTF_USESTDHANDLES;
  if (holdingHandles) {
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, holdingHandles ? TRUE : FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    return;
  }
  const UniqueProcess child(info);
  if (!log_path.empty()) {
    AppendToLog(log_path, "child: " + std::to_string(info.dwProcessId) + "\n");
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && argv[1] == kStayArgument) {
    Sleep(INFINITE);
  }
  const sim::SimSettings settings = sim::ReadSettings(EnvironmentValue);
  if (!settings.log_path.empty()) {
    AppendToLog(settings.log_path, "command: " + Utf8FromWide(GetCommandLineW()) + "\n");
  }
  if (settings.child != sim::SimSettings::Child::kNone) {
    StartStayingChild(settings.log_path,
                      settings.child == sim::SimSettings::Child::kHoldingHandles);
  }

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(Utf8FromWide(argv[i]));
  }

  StdHandleSink handles(settings.time_scale);
  sim::VariantSink sink(handles, settings.output);
  sim::WriteExtraOutput(settings, sink);
  sim::ToolHost host;
  host.read_file = ReadWholeFile;
  host.to_console = AnsiFromUtf8;
  // A console takes any text; a pipe or a file only what the ANSI code page holds.
  DWORD console_mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &console_mode)) {
    host.prints = AnsiCodePageHolds;
    host.codec = AnsiCodecName();
  }
  std::uint32_t code = sim::RunTool(args, settings, host, sink);
  sink.Finish();

  if (settings.exit_code) {
    code = *settings.exit_code;
  }
  if (!settings.log_path.empty()) {
    AppendToLog(settings.log_path, "exit: " + std::to_string(code) + "\n");
  }
  ExitProcess(code);
}
