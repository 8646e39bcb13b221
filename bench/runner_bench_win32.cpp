// The runner under a flood of output: the simulated tool writes N bytes in lines of 100
// bytes, read once through RunHiddenProcess with a line handler that only counts, and once
// through the same kind of pipe and child by a minimal reader (the same 1024-byte reads, no
// decoding, no cutting). The two take turns.
//
//   bench_runner [--bytes 50000000] [--repeat N]
//
// Prints "runner.handler.ms" and "runner.raw.ms" per turn, and the growth of private bytes
// during one run through the runner, sampled between reads.
#include <windows.h>

#include <string>

#include "bench/bench_support_win32.h"
#include "runner/win32/process_runner_win32.h"
#include "win32/unique_handle.h"

namespace {

constexpr DWORD kReadSize = 1024;

// The pipe and child of RunHiddenProcess, read to the end without looking at the bytes.
long long ReadRaw(const std::wstring& commandLine) {
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &security, 0)) {
    bench::Fail("cannot create the pipe");
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  std::wstring writable = commandLine;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    bench::Fail("cannot start the simulated tool");
  }
  const UniqueProcess tool(info);
  writeEnd.reset();
  char buffer[kReadSize];
  DWORD count = 0;
  long long total = 0;
  while (ReadFile(readEnd.get(), buffer, kReadSize, &count, nullptr) && count > 0) {
    total += count;
  }
  WaitForSingleObject(tool.process.get(), INFINITE);
  return total;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long long bytes = bench::NumberOption(argc, argv, L"--bytes", 50'000'000);
  const long long repeat = bench::NumberOption(argc, argv, L"--repeat", 5);
  SetEnvironmentVariableW(L"VTF_SIM_BYTES", std::to_wstring(bytes).c_str());
  SetEnvironmentVariableW(L"VTF_SIM_PORTS", L"COM7=esp32s3");
  const std::wstring command =
      bench::Quoted(bench::WindowsPath(VTF_ESPTOOL_SIM)) + L" --chip auto --port COM7 chip_id";
  // The tool's lines of 100 bytes, the last one shorter.
  const long long bulkLines = (bytes + 99) / 100;

  long long lines = 0;
  auto countLine = [&lines](std::wstring_view) { ++lines; };

  // Memory first, while the process is small: nothing may grow with the output.
  {
    bench::PeakSampler sampler;
    const long long before = bench::PrivateBytes();
    sampler.Reset();
    if (RunHiddenProcess(command, countLine) != 0) {
      bench::Fail("the simulated probe did not succeed");
    }
    bench::Print("runner.private_peak_growth", sampler.Peak() - before);
    bench::Print("runner.samples", sampler.Samples());
  }

  for (long long pass = 0; pass < repeat; ++pass) {
    lines = 0;
    const bench::Stopwatch handlerClock;
    if (RunHiddenProcess(command, countLine) != 0) {
      bench::Fail("the simulated probe did not succeed");
    }
    bench::Print("runner.handler.ms", handlerClock.Milliseconds());
    if (lines < bulkLines) {
      bench::Fail("the runner lost lines");
    }

    const bench::Stopwatch rawClock;
    const long long total = ReadRaw(command);
    bench::Print("runner.raw.ms", rawClock.Milliseconds());
    if (total < bytes) {
      bench::Fail("the minimal reader lost bytes");
    }
  }
  bench::Print("runner.lines", lines);
  return 0;
}
