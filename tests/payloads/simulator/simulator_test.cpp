// The simulated tool, run as a child process with its output in pipes, the way the program
// runs the real one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "payloads/simulator/sim_tool.h"
#include "win32/unique_handle.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  DWORD exit_code = 0;
  std::string out;  // standard output, or both streams when merged
  std::string err;
};

fs::path ThisProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return fs::path(path).parent_path();
}

// The test's environment without any VTF_SIM_ variable, plus `vars`.
std::wstring EnvironmentBlock(const std::map<std::wstring, std::wstring>& vars) {
  std::wstring block;
  const wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* p = strings; *p != L'\0'; p += wcslen(p) + 1) {
    if (std::wstring_view(p).starts_with(L"VTF_SIM_")) {
      continue;
    }
    block += p;
    block += L'\0';
  }
  FreeEnvironmentStringsW(const_cast<wchar_t*>(strings));
  for (const auto& [name, value] : vars) {
    block += name + L"=" + value + L'\0';
  }
  return block + L'\0';
}

std::string ReadAll(HANDLE pipe) {
  std::string data;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    data.append(buffer, got);
  }
  return data;
}

// Runs `command_line` (the simulator's own path first) with its output read through pipes.
RunResult RunCommandLine(std::wstring command_line, const std::map<std::wstring, std::wstring>& env,
                         bool merged = false) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle out_read, out_write, err_read, err_write;
  if (!CreatePipe(out_read.put(), out_write.put(), &inherit, 0) ||
      !CreatePipe(err_read.put(), err_write.put(), &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe failed";
    return {};
  }
  SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out_write.get();
  startup.hStdError = merged ? out_write.get() : err_write.get();
  PROCESS_INFORMATION info{};
  std::wstring environment = EnvironmentBlock(env);
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(), nullptr,
                      &startup, &info)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return {};
  }
  UniqueProcess process(info);
  out_write.reset();
  err_write.reset();

  RunResult result;
  std::thread err_reader([&] { result.err = ReadAll(err_read.get()); });
  result.out = ReadAll(out_read.get());
  err_reader.join();
  WaitForSingleObject(process.process.get(), INFINITE);
  GetExitCodeProcess(process.process.get(), &result.exit_code);
  return result;
}

std::wstring Quoted(const fs::path& path) {
  return L"\"" + path.wstring() + L"\"";
}

std::wstring Wide(std::string_view ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

// `format` with one unsigned number in it.
std::string Format(const char* format, std::uint64_t value) {
  char text[128];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
  return text;
}

std::string Narrow(const std::wstring& ascii) {
  std::string out;
  for (wchar_t c : ascii) {
    out.push_back(static_cast<char>(c));
  }
  return out;
}

// Deterministic filler: random-looking bytes compress badly, so images span several blocks.
std::string NoiseBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// An image with the 24-byte header the tool reads: magic, segment count, flash settings, chip id.
std::string Image(unsigned chip_id, std::size_t size, bool noisy) {
  std::string image = noisy ? NoiseBytes(size, 7 + chip_id) : std::string(size, '\x5A');
  if (!noisy) {
    for (std::size_t i = 0; i < size; i += 7) {
      image[i] = static_cast<char>('a' + i % 26);
    }
  }
  const unsigned char header[24] = {
      0xE9, 3, 2, 0x3F, 0xE4, 0x05, 0x08, 0x40, 0xEE, 0, 0, 0, static_cast<unsigned char>(chip_id),
      0,    0, 0, 0,    0xFF, 0xFF, 0,    0,    0,    0, 1};
  image.replace(0, 24, reinterpret_cast<const char*>(header), 24);
  return image;
}

std::string PartitionTable() {
  std::string table(3072, '\xFF');
  for (int i = 0; i < 6; ++i) {
    table[static_cast<std::size_t>(32 * i)] = '\xAA';
    table[static_cast<std::size_t>(32 * i + 1)] = '\x50';
  }
  return table;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(text.substr(start, nl - start));
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  }
  return lines;
}

// Position after `texts` found one after the other in `haystack`, or a failure naming the first
// text missing.
void ExpectInOrder(const std::string& haystack, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const auto& text : texts) {
    const auto found = haystack.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: [" << text << "]\nin:\n"
                                        << haystack;
    at = found + text.size();
  }
}

class SimulatorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / (L"vtf sim test " + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(folder_);
    Write(L"s3_boot.bin", Image(9, 15104, false));
    Write(L"s3_firm.bin", Image(9, 100000, true));
    Write(L"c2_boot.bin", Image(0, 17568, false));
    Write(L"c2_firm.bin", Image(0, 70001, true));
    Write(L"partitions.bin", PartitionTable());
    Write(L"text.bin", std::string(4096, 'A'));
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  static void Write(const std::wstring& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }

  static std::wstring File(const std::wstring& name) { return Quoted(folder_ / name); }

  static std::wstring Tool() { return Quoted(ThisProgramFolder() / L"esptool.exe"); }

  // The flash command line of the program, for one chip and its bootloader offset.
  static std::wstring FlashArguments(const std::wstring& chip, const std::wstring& port,
                                     const std::wstring& command, const std::wstring& boot,
                                     const std::wstring& firm) {
    const std::wstring boot_offset = chip == L"esp32" ? L"0x1000" : L"0x0";
    return L"--chip " + chip + L" --port " + port + L" --baud 460800 " + command + L" " +
           boot_offset + L" " + File(boot) + L" 0x8000 " + File(L"partitions.bin") + L" 0x10000 " +
           File(firm);
  }

  static RunResult Run(const std::wstring& arguments, std::map<std::wstring, std::wstring> env = {},
                       bool merged = false) {
    if (!env.contains(L"VTF_SIM_PORTS")) {
      env[L"VTF_SIM_PORTS"] = L"COM7=esp32s3,COM8=esp32";
    }
    return RunCommandLine(Tool() + L" " + arguments, env, merged);
  }

  static inline fs::path folder_;
};

constexpr const char* kTroubleshooting =
    "For troubleshooting steps visit: "
    "https://docs.espressif.com/projects/esptool/en/latest/troubleshooting.html\n";

TEST_F(SimulatorTest, AnsweringPortsPrintTheRealToolsReportInOrder) {
  struct Case {
    const char* name;
    std::wstring arguments;
    std::vector<std::string> in_order;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"probe of an S3, underscore spelling",
       L"--chip auto --port COM7 chip_id",
       {"Warning: Deprecated: Command 'chip_id' is deprecated. Use 'chip-id' instead.\n",
        "esptool v5.3.1\n", "Serial port COM7:\n", "Connecting...", "\n",
        "Detecting chip type... ESP32-S3\n", "Connected to ESP32-S3 on COM7:\n",
        "Chip type:          ESP32-S3 (QFN56) (revision v0.2)\n", "Features:           Wi-Fi",
        "Crystal frequency:  40MHz\n", "USB mode:           USB-Serial/JTAG\n",
        "MAC:                dc:54:75:", "\n\nUploading stub flasher...\n",
        "Running stub flasher...\n", "Stub flasher running.\n\n",
        "Warning: ESP32-S3 has no chip ID. Reading MAC address instead.\nMAC:                ",
        "\n\nHard resetting via RTS pin...\n"},
       {"Changing baud rate"}},
      {"probe of an ESP32, hyphen spelling",
       L"--chip auto --port COM8 chip-id",
       {"esptool v5.3.1\n", "Detecting chip type... ESP32\n", "Connected to ESP32 on COM8:\n",
        "Chip type:          ESP32-PICO-V3-02", "Warning: ESP32 has no chip ID.",
        "Hard resetting via RTS pin...\n"},
       {"Deprecated", "USB mode"}},
      {"port typed in another case",
       L"--chip auto --port cOM7 chip_id",
       {"Serial port cOM7:\n", "Connected to ESP32-S3 on cOM7:\n"},
       {}},
      {"flash of an S3",
       FlashArguments(L"esp32s3", L"COM7", L"write-flash", L"s3_boot.bin", L"s3_firm.bin"),
       {"esptool v5.3.1\n", "Connected to ESP32-S3 on COM7:\n",
        "Stub flasher running.\nChanging baud rate to 460800...\nChanged.\n\n",
        "Configuring flash size...\n\nWriting '" + Narrow((folder_ / L"s3_boot.bin").wstring()) +
            "' at 0x00000000...\nFlash will be erased from 0x00000000 to 0x00003fff...\n"
            "Compressed 15104 bytes to ",
        "Verifying written data...\nHash of data verified.\n\nWriting '" +
            Narrow((folder_ / L"partitions.bin").wstring()) +
            "' at 0x00008000...\nFlash will be erased from 0x00008000 to 0x00008fff...\n"
            "Compressed 3072 bytes to ",
        "Hash of data verified.\n\nWriting '" + Narrow((folder_ / L"s3_firm.bin").wstring()) +
            "' at 0x00010000...\nFlash will be erased from 0x00010000 to 0x00028fff...\n"
            "Compressed 100000 bytes to ",
        "Hash of data verified.\n\nHard resetting via RTS pin...\n"},
       {"Detecting chip type", "Deprecated"}},
      {"flash of an ESP32, underscore spelling",
       FlashArguments(L"esp32", L"COM8", L"write_flash", L"c2_boot.bin", L"c2_firm.bin"),
       {"Warning: Deprecated: Command 'write_flash' is deprecated. Use 'write-flash' instead.\n",
        "esptool v5.3.1\n", "Connected to ESP32 on COM8:\n",
        "\nWriting '" + Narrow((folder_ / L"c2_boot.bin").wstring()) +
            "' at 0x00001000...\nFlash will be erased from 0x00001000 to 0x00005fff...\n",
        "Compressed 17568 bytes to ", "Compressed 3072 bytes to ",
        // 70001 bytes go padded to a multiple of four.
        "Compressed 70004 bytes to ", "Wrote 70004 bytes (", "Hard resetting via RTS pin...\n"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = Run(c.arguments);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(r.err, "");
    ExpectInOrder(r.out, c.in_order);
    for (const auto& text : c.absent) {
      EXPECT_EQ(r.out.find(text), std::string::npos) << text;
    }
  }
}

// Each image: "Writing '<file>' at <offset>...", its erased range, "Compressed U bytes to C...", a
// blank line, then one progress line per 16 KiB block of C after a first one at 0.0%, each its
// own CR ... blank LF line, then "Wrote U bytes (C compressed)" and the check.
TEST_F(SimulatorTest, ProgressRestartsForEachImageAndEndsAtOneHundred) {
  struct Case {
    const char* name;
    std::wstring arguments;
    std::vector<std::uint64_t> offsets;
  };
  const std::vector<Case> cases = {
      {"S3",
       FlashArguments(L"esp32s3", L"COM7", L"write-flash", L"s3_boot.bin", L"s3_firm.bin"),
       {0x0, 0x8000, 0x10000}},
      {"ESP32",
       FlashArguments(L"esp32", L"COM8", L"write-flash", L"c2_boot.bin", L"c2_firm.bin"),
       {0x1000, 0x8000, 0x10000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = Run(c.arguments);
    ASSERT_EQ(r.exit_code, 0u);
    const auto lines = Lines(r.out);

    std::size_t images = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      unsigned long long size = 0, compressed = 0;
      if (std::sscanf(lines[i].c_str(), "Compressed %llu bytes to %llu...", &size, &compressed) !=
          2) {
        continue;
      }
      ASSERT_LT(images, c.offsets.size());
      const std::uint64_t offset = c.offsets[images++];
      ASSERT_GE(i, 3u);
      EXPECT_EQ(lines[i - 3], "");
      EXPECT_TRUE(lines[i - 2].starts_with("Writing '")) << lines[i - 2];
      EXPECT_TRUE(lines[i - 2].ends_with(Format("' at 0x%08llx...", offset))) << lines[i - 2];
      EXPECT_TRUE(
          lines[i - 1].starts_with(Format("Flash will be erased from 0x%08llx to ", offset)))
          << lines[i - 1];
      EXPECT_EQ(lines[i + 1], "");
      const std::size_t blocks = static_cast<std::size_t>((compressed + 0x3FFF) / 0x4000);
      ASSERT_LT(compressed, size + size / 100 + 64);
      ASSERT_GT(lines.size(), i + blocks + 5);

      double previous = -1;
      for (std::size_t k = 0; k <= blocks; ++k) {
        const std::string& line = lines[i + 2 + k];
        ASSERT_TRUE(line.starts_with("\rWriting at 0x")) << line;
        ASSERT_TRUE(line.ends_with(" bytes... ")) << line;
        unsigned long long address = 0, sent = 0, total = 0;
        double percent = 0;
        const auto bar_end = line.find("] ");
        ASSERT_EQ(line[23], '[') << line;
        ASSERT_EQ(bar_end, 54u) << line;  // a bar of 30 characters
        ASSERT_EQ(std::sscanf(line.c_str(), "\rWriting at %llx", &address), 1);
        ASSERT_EQ(std::sscanf(line.c_str() + bar_end + 2, "%lf%% %llu/%llu bytes...", &percent,
                              &sent, &total),
                  3)
            << line;
        EXPECT_EQ(total, compressed);
        EXPECT_EQ(sent, std::min<unsigned long long>(k * 0x4000ull, compressed));
        EXPECT_GT(percent, previous);
        previous = percent;
        if (k == 0) {
          EXPECT_EQ(percent, 0.0);
          EXPECT_EQ(address, offset);
        }
      }
      EXPECT_EQ(previous, 100.0);
      EXPECT_TRUE(lines[i + 2 + blocks].find("[==============================] 100.0% ") !=
                  std::string::npos);
      char wrote[96];
      std::snprintf(wrote, sizeof wrote, "Wrote %llu bytes (%llu compressed) at 0x%08llx in ", size,
                    compressed, static_cast<unsigned long long>(offset));
      EXPECT_TRUE(lines[i + 3 + blocks].starts_with(wrote)) << lines[i + 3 + blocks];
      EXPECT_EQ(lines[i + 4 + blocks], "Verifying written data...");
      EXPECT_EQ(lines[i + 5 + blocks], "Hash of data verified.");
    }
    EXPECT_EQ(images, 3u);
  }
}

// Through a pipe the tool's runtime encodes in the ANSI code page, strictly: a file name that the
// code page cannot hold ends the write with the runtime's traceback, before anything is written.
TEST_F(SimulatorTest, AFileNameThatThePipesCodePageCannotHoldEndsTheWriteWithATraceback) {
  ASSERT_EQ(GetACP(), 1252u) << "the test's environment pins the ANSI code page";
  struct Case {
    std::wstring folder;
    std::string error;  // the traceback's last line; empty: the write goes through
    std::string shown;  // the folder's name in the code page's bytes, when it goes through
  };
  // A folder of its own, so that each name is made afresh.
  const std::wstring base = folder_.wstring() + L"\\code page test";
  std::error_code ignored;
  fs::remove_all(base, ignored);
  ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr)) << GetLastError();
  // Where the folder's name starts in the printed line.
  const std::size_t at = std::string("Writing '").size() + Narrow(base).size() + 1;
  const std::string undefined = ": character maps to <undefined>";
  const std::vector<Case> cases = {
      {L"Mo\u0159e",
       "UnicodeEncodeError: 'charmap' codec can't encode character '\\u0159' in position " +
           std::to_string(at + 2) + undefined,
       ""},
      {L"\u674E\u660E",
       "UnicodeEncodeError: 'charmap' codec can't encode characters in position " +
           std::to_string(at) + "-" + std::to_string(at + 1) + undefined,
       ""},
      {L"Jos\u00E9", "", "Jos\xE9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.folder));
    const std::wstring folder = base + L"\\" + c.folder + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    const std::pair<const wchar_t*, std::string> files[] = {{L"boot.bin", Image(9, 15104, false)},
                                                            {L"partitions.bin", PartitionTable()},
                                                            {L"firm.bin", Image(9, 100000, true)}};
    for (const auto& [name, bytes] : files) {
      std::ofstream(fs::path(folder + name), std::ios::binary) << bytes;
    }
    const RunResult r =
        Run(L"--chip esp32s3 --port COM7 --baud 460800 write-flash 0x0 " +
            Quoted(folder + L"boot.bin") + L" 0x8000 " + Quoted(folder + L"partitions.bin") +
            L" 0x10000 " + Quoted(folder + L"firm.bin"));
    if (c.error.empty()) {
      EXPECT_EQ(r.exit_code, 0u);
      EXPECT_EQ(r.err, "");
      EXPECT_NE(r.out.find("\\" + c.shown + "\\boot.bin' at 0x00000000...\n"), std::string::npos)
          << r.out;
      continue;
    }
    EXPECT_EQ(r.exit_code, 1u);
    EXPECT_EQ(r.err,
              "Traceback (most recent call last):\n  File \"esptool\\cmds.py\", line 0, in "
              "write_flash\n" +
                  c.error + "\n");
    EXPECT_TRUE(r.out.ends_with("Configuring flash size...\n\n")) << r.out;
    EXPECT_EQ(r.out.find("Hard resetting"), std::string::npos);
  }
  fs::remove_all(base, ignored);
}

// The runtime's error as each kind of codec words it, from the tool's own core with a machine
// whose standard output takes ASCII only: one-byte codecs name the whole run of characters,
// multi-byte ones the first.
TEST(SimulatorCore, TheEncodingErrorNamesItsCodecAndCharactersAsTheRuntimeDoes) {
  struct Captured final : sim::OutputSink {
    std::string out;
    std::string err;
    void Write(sim::Stream stream, std::string_view bytes) override {
      (stream == sim::Stream::kOut ? out : err) += bytes;
    }
    void Pause(double) override {}
  };
  const struct {
    const char* codec;
    std::string name;  // UTF-8
    std::string error;
  } cases[] = {
      {"charmap", "b\xC3\xA9\xC3\xA9.bin",
       "'charmap' codec can't encode characters in position 10-11: character maps to <undefined>"},
      {"cp932", "b\xC3\xA9\xC3\xA9.bin",
       "'cp932' codec can't encode character '\\xe9' in position 10: illegal multibyte sequence"},
      {"charmap", "\xC5\x99.bin",
       "'charmap' codec can't encode character '\\u0159' in position 9: character maps to "
       "<undefined>"},
      {"cp936", "\xF0\x9F\x94\x8D.bin",
       "'cp936' codec can't encode character '\\U0001f50d' in position 9: illegal multibyte "
       "sequence"},
  };
  sim::SimSettings settings;
  settings.ports = {{"COM7", "esp32s3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    sim::ToolHost host;
    host.read_file = [](const std::string&) { return sim::FileContent{Image(9, 4096, false), 0}; };
    host.to_console = [](std::string_view utf8) { return std::string(utf8); };
    host.prints = [](char32_t point) { return point < 0x80; };
    host.codec = c.codec;
    Captured sink;
    const std::uint32_t code =
        sim::RunTool({"--chip", "esp32s3", "--port", "COM7", "write-flash", "0x10000", c.name},
                     settings, host, sink);
    EXPECT_EQ(code, 1u);
    EXPECT_TRUE(sink.err.ends_with("\nUnicodeEncodeError: " + c.error + "\n")) << sink.err;
    EXPECT_EQ(sink.out.find("Writing '"), std::string::npos);
  }
}

TEST_F(SimulatorTest, FailuresGoToStandardErrorWithExitCodeTwo) {
  struct Case {
    const char* name;
    std::wstring arguments;
    std::wstring ports;
    std::string err;                   // the whole standard error
    std::vector<std::string> out_has;  // in order
    std::vector<std::string> out_lacks;
  };
  const std::string dots(35, '.');
  const std::string missing = Narrow((folder_ / L"missing.bin").wstring());
  std::string missing_repr;
  for (char ch : missing) {
    missing_repr += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
  }
  const std::vector<Case> cases = {
      {"silent port, chip given",
       FlashArguments(L"esp32s3", L"COM9", L"write-flash", L"s3_boot.bin", L"s3_firm.bin"),
       L"COM7=esp32s3",
       "\nA fatal error occurred: Failed to connect to ESP32-S3: No serial data received.\n" +
           std::string(kTroubleshooting),
       {"esptool v5.3.1\nSerial port COM9:\nConnecting..." + dots + "\n"},
       {"Connected", "Hard resetting"}},
      {"silent port, detection",
       L"--chip auto --port COM7 chip_id",
       L"",
       "\nA fatal error occurred: Failed to connect to Espressif device: No serial data "
       "received.\n" +
           std::string(kTroubleshooting),
       {"Connecting..." + dots + "\n"},
       {"Detecting chip type"}},
      {"image of the other chip",
       FlashArguments(L"esp32s3", L"COM7", L"write-flash", L"c2_boot.bin", L"s3_firm.bin"),
       L"COM7=esp32s3",
       "\nA fatal error occurred: '" + Narrow((folder_ / L"c2_boot.bin").wstring()) +
           "' is not an ESP32-S3 image. Use the force argument to flash anyway.\n",
       {"Changed.\n\n", "\nHard resetting via RTS pin...\n"},
       {"Configuring flash size", "Compressed"}},
      {"device of the other chip",
       FlashArguments(L"esp32s3", L"COM8", L"write-flash", L"s3_boot.bin", L"s3_firm.bin"),
       L"COM8=esp32",
       "\nA fatal error occurred: This chip is ESP32, not ESP32-S3. Wrong chip argument?\n",
       {"Connecting....\n"},
       {"Connected"}},
      {"not an image where the application goes",
       FlashArguments(L"esp32s3", L"COM7", L"write-flash", L"s3_boot.bin", L"text.bin"),
       L"COM7=esp32s3",
       "\nA fatal error occurred: Invalid firmware image magic=0x41\n",
       {"Stub flasher running."},
       {"Compressed"}},
      {"missing file",
       FlashArguments(L"esp32s3", L"COM7", L"write-flash", L"s3_boot.bin", L"missing.bin"),
       L"COM7=esp32s3",
       "Usage: esptool write-flash [OPTIONS] <address> <filename>...\n"
       "Try 'esptool write-flash -h' for help.\n\n"
       "Error: Invalid value: [Errno 2] No such file or directory: '" +
           missing_repr + "'\n",
       {"esptool v5.3.1\n"},
       {"Connecting"}},
      {"odd address and file list",
       L"--chip esp32s3 --port COM7 write-flash 0x0 " + File(L"s3_boot.bin") + L" 0x8000",
       L"COM7=esp32s3",
       "Usage: esptool write-flash [OPTIONS] <address> <filename>...\n"
       "Try 'esptool write-flash -h' for help.\n\n"
       "Error: Invalid value: Must be pairs of an address and the binary filename to write "
       "there.\n",
       {},
       {"Connecting"}},
      {"unknown command",
       L"--chip auto --port COM7 flash-it",
       L"COM7=esp32s3",
       "Usage: esptool [OPTIONS] COMMAND [ARGS]...\nTry 'esptool -h' for help.\n\n"
       "Error: No such command 'flash-it'.\n",
       {},
       {"esptool v"}},
      {"unknown chip",
       L"--chip esp99 --port COM7 chip_id",
       L"COM7=esp32s3",
       "Usage: esptool [OPTIONS] COMMAND [ARGS]...\nTry 'esptool -h' for help.\n\n"
       "Error: Invalid value for '--chip' / '-c': 'esp99' is not one of 'auto', 'esp8266', "
       "'esp32', 'esp32s2', 'esp32s3', 'esp32c3', 'esp32c2', 'esp32c6', 'esp32c61', "
       "'esp32c5', 'esp32h2', 'esp32h21', 'esp32p4', 'esp32h4'.\n",
       {},
       {"esptool v", "Deprecated"}},
      {"port option without its value",
       L"--chip auto --port",
       L"COM7=esp32s3",
       "Usage: esptool [OPTIONS] COMMAND [ARGS]...\nTry 'esptool -h' for help.\n\n"
       "Error: Option '--port' requires an argument.\n",
       {},
       {"esptool v"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = Run(c.arguments, {{L"VTF_SIM_PORTS", c.ports}});
    EXPECT_EQ(r.exit_code, 2u);
    EXPECT_EQ(r.err, c.err);
    ExpectInOrder(r.out, c.out_has);
    for (const auto& text : c.out_lacks) {
      EXPECT_EQ(r.out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(r.out.find("Hash of data verified"), std::string::npos);
  }
}

TEST_F(SimulatorTest, OutputVariantsProduceTheBytesTheyClaim) {
  struct Case {
    const char* variant;
    std::function<void(const RunResult&)> check;
  };
  const std::vector<Case> cases = {
      {"crlf",
       [](const RunResult& r) {
         std::size_t line_feeds = 0;
         for (std::size_t i = 0; i < r.out.size(); ++i) {
           if (r.out[i] != '\n') {
             continue;
           }
           ++line_feeds;
           EXPECT_TRUE(i > 0 && r.out[i - 1] == '\r') << "bare line feed at " << i;
         }
         EXPECT_GT(line_feeds, 10u);
         EXPECT_TRUE(r.out.ends_with("\r\nHard resetting via RTS pin...\r\n"));
       }},
      {"nofinalnewline",
       [](const RunResult& r) {
         EXPECT_TRUE(r.out.ends_with("\n\nHard resetting via RTS pin...")) << r.out;
       }},
      {"longline",
       [](const RunResult& r) {
         const auto lines = Lines(r.out);
         ASSERT_FALSE(lines.empty());
         EXPECT_EQ(lines[0].size(), 3000u);
         EXPECT_TRUE(lines[0].starts_with("Long line begins "));
         EXPECT_TRUE(lines[0].ends_with(" long line ends"));
       }},
      {"highbytes",
       [](const RunResult& r) {
         ASSERT_GT(r.out.size(), 1026u);
         EXPECT_EQ(r.out.substr(1023, 3), "\xE2\x9C\x94");  // split by a 1024-byte read
         EXPECT_TRUE(r.out.starts_with("High bytes: caf\xE9 "));
         EXPECT_EQ(r.out.find('\n'), r.out.find("\nSplit sequence: "));
       }},
      {"blank",
       [](const RunResult& r) { EXPECT_TRUE(r.out.starts_with("\n   \n \t \nesptool v")); }},
      {"cr",
       [](const RunResult& r) {
         EXPECT_TRUE(r.out.starts_with("Carriage return here\rand the line goes on\n"));
       }},
      {"nul",
       [](const RunResult& r) {
         using namespace std::string_view_literals;
         EXPECT_TRUE(r.out.starts_with(
             "NUL here\0and the line goes on\nW\0i\0d\0e\0 \0l\0i\0n\0e\0\n\0esptool v"sv))
             << testing::PrintToString(r.out.substr(0, 60));
       }},
      {"stderr",
       [](const RunResult& r) {
         EXPECT_TRUE(
             r.out.starts_with("Interleaved line 1 on standard output\n"
                               "Interleaved line 3 on standard output\nesptool v"));
         EXPECT_EQ(r.err,
                   "Interleaved line 2 on standard error\nInterleaved line 4 on standard error\n");
       }},
      {"silent",
       [](const RunResult& r) {
         EXPECT_EQ(r.out, "");
         EXPECT_EQ(r.err, "");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.variant);
    const RunResult r =
        Run(L"--chip auto --port COM7 chip-id", {{L"VTF_SIM_OUTPUT", Wide(c.variant)}});
    EXPECT_EQ(r.exit_code, 0u);
    c.check(r);
  }
}

TEST_F(SimulatorTest, ForcedExitCodeReachesTheParentUnchanged) {
  const std::vector<std::pair<std::wstring, DWORD>> cases = {
      {L"4294967295", 0xFFFFFFFFu},
      {L"-2", 0xFFFFFFFEu},
      {L"1", 1u},
      {L"0", 0u},
      {L"seven", 2u},  // ignored: the silent port's own code stays
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(Narrow(value));
    const RunResult r = Run(L"--chip auto --port COM9 chip_id", {{L"VTF_SIM_EXIT_CODE", value}});
    EXPECT_EQ(r.exit_code, expected);
    EXPECT_NE(r.err.find("A fatal error occurred"), std::string::npos);  // after normal output
  }
}

TEST_F(SimulatorTest, LogRecordsEachCommandLineAndExitCode) {
  const fs::path log = folder_ / L"calls.log";
  // A folder name outside ASCII shows the line is kept in UTF-8.
  const std::wstring first = Tool() + L" --chip auto --port COM7 chip_id";
  const std::wstring second = Tool() + L" --chip esp32s3 --port COM7 write-flash 0x0 " +
                              Quoted(folder_ / L"\u00E9t\u00E9" / L"boot.bin");
  const std::map<std::wstring, std::wstring> env = {{L"VTF_SIM_LOG", log.wstring()},
                                                    {L"VTF_SIM_PORTS", L"COM7=esp32s3"}};
  EXPECT_EQ(RunCommandLine(first, env).exit_code, 0u);
  EXPECT_EQ(RunCommandLine(second, env).exit_code, 2u);

  std::ifstream in(log, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(in), {}};
  std::string second_utf8 = Narrow(second);
  const auto e = second_utf8.find('\xE9');
  ASSERT_NE(e, std::string::npos);
  second_utf8.replace(e, 3, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(content,
            "command: " + Narrow(first) + "\nexit: 0\ncommand: " + second_utf8 + "\nexit: 2\n");
}

TEST_F(SimulatorTest, ExtraLinesAndBytesComeBeforeTheToolsOutput) {
  const RunResult lines = Run(L"--chip auto --port COM7 chip-id", {{L"VTF_SIM_LINES", L"1000"}});
  const auto all = Lines(lines.out);
  ASSERT_GT(all.size(), 1000u);
  for (int i = 1; i <= 1000; ++i) {
    ASSERT_EQ(all[static_cast<std::size_t>(i - 1)], "Extra line " + std::to_string(i) + " of 1000");
  }
  EXPECT_EQ(all[1000], "esptool v5.3.1");

  const RunResult bytes = Run(L"--chip auto --port COM7 chip-id", {{L"VTF_SIM_BYTES", L"250050"}});
  ASSERT_GT(bytes.out.size(), 250050u);
  EXPECT_TRUE(bytes.out.substr(250050).starts_with("esptool v5.3.1\n"));
  const auto bulk = Lines(bytes.out.substr(0, 250050));
  ASSERT_EQ(bulk.size(), 2501u);
  EXPECT_TRUE(bulk[0].starts_with("Bulk output line 1 "));
  EXPECT_EQ(bulk[0].size(), 99u);
  EXPECT_TRUE(bulk[2499].starts_with("Bulk output line 2500 "));
  EXPECT_EQ(bulk[2500].size(), 49u);
}

}  // namespace
