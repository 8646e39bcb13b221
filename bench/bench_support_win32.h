// What the bench programs share: a stopwatch, the process's memory counters, a sampler that
// catches the peak of private bytes while work runs, and the figures printed as
// "name value" lines for bench/run.sh.
#pragma once

#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>
#include <thread>

namespace bench {

class Stopwatch {
 public:
  Stopwatch() { ::QueryPerformanceCounter(&start_); }
  double Milliseconds() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_{};
};

inline PROCESS_MEMORY_COUNTERS_EX MemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  ::K32GetProcessMemoryInfo(::GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters));
  return counters;
}

// Private bytes. Wine 8 reports PrivateUsage as 0 and keeps the process's resident private
// memory in PagefileUsage (whose "peak" there is only the current value).
inline long long PrivateBytes() {
  const PROCESS_MEMORY_COUNTERS_EX counters = MemoryCounters();
  return static_cast<long long>(counters.PrivateUsage != 0 ? counters.PrivateUsage
                                                           : counters.PagefileUsage);
}

// Samples private bytes on a thread of its own for as long as it lives: the peak of a piece
// of work is seen between chunks, which nothing outside the process can do.
class PeakSampler {
 public:
  PeakSampler() : peak_(PrivateBytes()), thread_([this] { Run(); }) {
    while (samples_.load() < 2) {
      ::SwitchToThread();
    }
  }
  ~PeakSampler() { Stop(); }
  PeakSampler(const PeakSampler&) = delete;
  PeakSampler& operator=(const PeakSampler&) = delete;

  // Restarts the peak from the current value.
  void Reset() { peak_.store(PrivateBytes()); }
  long long Peak() const { return peak_.load(); }
  long long Samples() const { return samples_.load(); }
  void Stop() {
    if (thread_.joinable()) {
      stop_.store(true);
      thread_.join();
    }
  }

 private:
  void Run() {
    while (!stop_.load()) {
      const long long now = PrivateBytes();
      long long peak = peak_.load();
      while (now > peak && !peak_.compare_exchange_weak(peak, now)) {
      }
      samples_.fetch_add(1);
      ::SwitchToThread();
    }
  }

  std::atomic<long long> peak_;
  std::atomic<long long> samples_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

inline void Print(std::string_view name, double value) {
  std::printf("%.*s %.3f\n", static_cast<int>(name.size()), name.data(), value);
  std::fflush(stdout);
}

inline void Print(std::string_view name, long long value) {
  std::printf("%.*s %lld\n", static_cast<int>(name.size()), name.data(), value);
  std::fflush(stdout);
}

[[noreturn]] inline void Fail(std::string_view what) {
  std::fprintf(stderr, "bench: %.*s\n", static_cast<int>(what.size()), what.data());
  std::exit(1);
}

// A build-tree path as Wine sees it: the Unix root is drive Z:.
inline std::wstring WindowsPath(std::string_view path) {
  std::wstring result = path.starts_with('/') ? L"Z:" : L"";
  for (char c : path) {
    result += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  }
  return result;
}

inline std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

// "--name value" from the command line, or the fallback.
inline std::wstring Option(int argc, wchar_t** argv, std::wstring_view name,
                           std::wstring fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (name == argv[i]) {
      return argv[i + 1];
    }
  }
  return fallback;
}

inline long long NumberOption(int argc, wchar_t** argv, std::wstring_view name,
                              long long fallback) {
  const std::wstring text = Option(argc, argv, name, L"");
  return text.empty() ? fallback : std::wcstoll(text.c_str(), nullptr, 10);
}

}  // namespace bench
