// Extraction as a model choice makes it: the four payloads of the M5Stick S3 (the tool padded
// to its real size) written into the work folder by ExtractResourceToFile, in the model
// table's order.
//
//   bench_extract [--repeat N]
//
// First one pass with a sampler thread that catches the peak of private bytes, then N timed
// passes without it. Every pass starts from a folder without the four files, and each file
// is checked byte for byte against its payload.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "bench/bench_support_win32.h"
#include "flashing/win32/work_folder_win32.h"
#include "payloads/device_models.h"
#include "win32/unique_handle.h"

namespace {

// The payload's bytes where the system maps them.
std::span<const std::byte> PayloadBytes(std::wstring_view name) {
  const std::wstring terminated(name);
  HRSRC found = FindResourceW(nullptr, terminated.c_str(), RT_RCDATA);
  HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    bench::Fail("a payload of the model is missing from this program");
  }
  return {static_cast<const std::byte*>(bytes), SizeofResource(nullptr, found)};
}

bool SameBytes(const std::wstring& path, std::span<const std::byte> expected) {
  const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) ||
      static_cast<std::size_t>(size.QuadPart) != expected.size()) {
    return false;
  }
  std::vector<std::byte> buffer(1 << 20);
  for (std::size_t offset = 0; offset < expected.size();) {
    DWORD count = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr) ||
        count == 0 || std::memcmp(buffer.data(), expected.data() + offset, count) != 0) {
      return false;
    }
    offset += count;
  }
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) {
    result += c < 128 ? static_cast<char>(c) : '?';
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const long long repeat = bench::NumberOption(argc, argv, L"--repeat", 5);
  const DeviceModel& model = *DeviceModelAt(2);
  const std::wstring folder = GetWorkFolder();
  std::printf("folder %s\n", Narrow(folder).c_str());

  auto removeTargets = [&] {
    for (const PayloadFile& file : model.files) {
      DeleteFileW((folder + std::wstring(file.fileName)).c_str());
    }
  };
  auto extractAll = [&] {
    for (const PayloadFile& file : model.files) {
      if (!ExtractResourceToFile(file.payloadName, folder + std::wstring(file.fileName))) {
        bench::Fail("an extraction failed");
      }
    }
  };

  // Memory: before, right after each extraction, the peak between chunks, and after.
  removeTargets();
  {
    bench::PeakSampler sampler;
    const PROCESS_MEMORY_COUNTERS_EX before = bench::MemoryCounters();
    sampler.Reset();
    const long long beforePrivate = bench::PrivateBytes();
    long long largestAfterOne = 0;
    for (const PayloadFile& file : model.files) {
      if (!ExtractResourceToFile(file.payloadName, folder + std::wstring(file.fileName))) {
        bench::Fail("an extraction failed");
      }
      largestAfterOne = std::max(largestAfterOne, bench::PrivateBytes() - beforePrivate);
    }
    const long long peak = sampler.Peak();
    sampler.Stop();
    const PROCESS_MEMORY_COUNTERS_EX after = bench::MemoryCounters();
    bench::Print("memory.private_before", beforePrivate);
    bench::Print("memory.private_peak_growth", peak - beforePrivate);
    bench::Print("memory.private_growth_after_each", largestAfterOne);
    bench::Print("memory.private_growth_after", bench::PrivateBytes() - beforePrivate);
    bench::Print("memory.peak_pagefile_growth",
                 static_cast<long long>(after.PeakPagefileUsage) -
                     static_cast<long long>(before.PeakPagefileUsage));
    bench::Print("memory.peak_working_set_growth",
                 static_cast<long long>(after.PeakWorkingSetSize) -
                     static_cast<long long>(before.PeakWorkingSetSize));
    bench::Print("memory.samples", sampler.Samples());
  }
  long long payloadBytes = 0;
  for (const PayloadFile& file : model.files) {
    const std::span<const std::byte> payload = PayloadBytes(file.payloadName);
    payloadBytes += static_cast<long long>(payload.size());
    if (!SameBytes(folder + std::wstring(file.fileName), payload)) {
      bench::Fail("an extracted file differs from its payload");
    }
  }
  bench::Print("extract.bytes", payloadBytes);

  for (long long pass = 0; pass < repeat; ++pass) {
    removeTargets();
    const bench::Stopwatch clock;
    extractAll();
    bench::Print("extract.ms", clock.Milliseconds());
  }
  return 0;
}
