#include "runner/output_filter.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <string_view>

namespace {

using Kind = FilteredLine::Kind;

// What the window does with one trimmed line: where its text goes, and the bar position that
// ParseProgress takes from it (only shown and empty lines reach ParseProgress).
struct Step {
  Kind kind;
  std::wstring text;  // the rewritten message for the log, or the shown line
  std::optional<int> bar;
};

Step RunStep(std::wstring_view line) {
  const FilteredLine filtered = FilterLine(line);
  Step step{filtered.kind, filtered.text, std::nullopt};
  if (filtered.kind == Kind::Shown) {
    step.text = line;
  }
  if (filtered.kind == Kind::Shown || filtered.kind == Kind::Empty) {
    step.bar = ProgressFrom(line);
  }
  return step;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Detected:
      return "Detected";
    case Kind::Noise:
      return "Noise";
    case Kind::Shown:
      return "Shown";
    case Kind::Empty:
      return "Empty";
  }
  return "?";
}

constexpr std::wstring_view kDetected = L"\U0001F50D Device detected: ";
constexpr std::optional<int> kNone = std::nullopt;

std::wstring Detected(std::wstring_view rest) {
  return std::wstring(kDetected) + std::wstring(rest);
}

std::wstring Repeat(wchar_t c, std::size_t count) {
  return std::wstring(count, c);
}

TEST(OutputFilter, LineStep) {
  const struct {
    std::wstring line;
    Kind kind;
    std::wstring text;  // for Shown rows: empty means "the line itself"
    std::optional<int> bar;
  } cases[] = {
      // The tool's chatter, one row per text of NoisePatterns.
      {L"Warning: Deprecated: Command 'chip_id' is deprecated.", Kind::Noise, L"", kNone},
      {L"esptool v5.3.1", Kind::Noise, L"", kNone},
      {L"Serial port COM5", Kind::Noise, L"", kNone},
      {L"Connecting....", Kind::Noise, L"", kNone},
      {L"Connected to ESP32-S3 on COM5:", Kind::Noise, L"", kNone},
      {L"Uploading stub flasher...", Kind::Noise, L"", kNone},
      {L"Running stub flasher...", Kind::Noise, L"", kNone},
      {L"Stub flasher running.", Kind::Noise, L"", kNone},
      {L"MAC: 00:11:22:33:44:55", Kind::Noise, L"", kNone},
      {L"Crystal frequency: 40MHz", Kind::Noise, L"", kNone},
      {L"USB mode: USB-Serial/JTAG", Kind::Noise, L"", kNone},
      {L"Features: Wi-Fi, BT 5 (LE), Dual Core, 240MHz", Kind::Noise, L"", kNone},
      {L"Chip type: ESP32-S3 (QFN56) (revision v0.2)", Kind::Noise, L"", kNone},
      {L"Hard resetting via RTS pin...", Kind::Noise, L"", kNone},
      {L"A fatal error occurred: Failed to connect to ESP32-S3: No serial data received.",
       Kind::Noise, L"", kNone},
      {L"For troubleshooting steps visit: https://docs.example/troubleshooting", Kind::Noise, L"",
       kNone},
      // Anywhere in the line; a dropped line never reaches ParseProgress.
      {L"Note: Warning: 50%", Kind::Noise, L"", kNone},
      // Case-sensitive, blanks and colons included: near misses are shown.
      {L"WARNING: port busy", Kind::Shown, L"", kNone},
      {L"Warning - port busy", Kind::Shown, L"", kNone},
      {L"connecting....", Kind::Shown, L"", kNone},
      {L"Chip type ESP32-S3", Kind::Shown, L"", kNone},
      {L"esptool 5.3.1", Kind::Shown, L"", kNone},
      {L"mac: 00:11", Kind::Shown, L"", kNone},
      {L"Note: any text", Kind::Shown, L"", kNone},
      {L"A serial exception error occurred: Write timeout", Kind::Shown, L"", kNone},
      // The detection line: the first "Detecting chip type..." removed, the rest trimmed.
      {L"Detecting chip type... ESP32-S3", Kind::Detected, Detected(L"ESP32-S3"), kNone},
      {L"Detecting chip type...", Kind::Detected, Detected(L""), kNone},
      {L"Detecting chip type failed", Kind::Detected, Detected(L"Detecting chip type failed"),
       kNone},
      {L"Detecting chip type...\t ESP32 \x01", Kind::Detected, Detected(L"ESP32"), kNone},
      {L"x Detecting chip type... y Detecting chip type... z", Kind::Detected,
       Detected(L"x  y Detecting chip type... z"), kNone},
      {L"Detecting chip type... Warning: 50%", Kind::Detected, Detected(L"Warning: 50%"), kNone},
      {L"detecting chip type... ESP32", Kind::Shown, L"", kNone},
      // Shown lines, and the percentage they carry.
      {L"Changing baud rate to 460800...", Kind::Shown, L"", kNone},
      {L"Configuring flash size...", Kind::Shown, L"", kNone},
      {L"Writing at 0x00010000 [=====>   ] 18.4% 96/521 bytes...", Kind::Shown, L"", 18},
      {L"Writing at 0x00010000 [===>     ] 12.5% 64/512 bytes...", Kind::Shown, L"", 12},
      {L"Writing at 0x00010000 [========>] 99.5% 199/200 bytes...", Kind::Shown, L"", 100},
      {L"Writing at 0x00010000 [=========] 100.0% 521/521 bytes...", Kind::Shown, L"", 100},
      {L"Wrote 521 bytes (312 compressed) at 0x00010000 in 0.1 seconds (25.0 kbit/s).", Kind::Shown,
       L"", kNone},
      {L"Hash of data verified.", Kind::Shown, L"", kNone},
      {L"", Kind::Empty, L"", kNone},
      {L"Writing at 0x00010000... (10 %)", Kind::Shown, L"", kNone},
      {L"1.2.3% done", Kind::Shown, L"", kNone},
      {L"150%", Kind::Shown, L"", 150},
      {L"20% then 80%", Kind::Shown, L"", 20},
      {L"% then 80%", Kind::Shown, L"", kNone},
      {L"x7%", Kind::Shown, L"", 7},
      {L"0%", Kind::Shown, L"", 0},
      // Halves go to the even neighbour; other fractions to the nearest.
      {L"13.5%", Kind::Shown, L"", 14},
      {L"0.5%", Kind::Shown, L"", 0},
      {L"2.51%", Kind::Shown, L"", 3},
      {L"7.49%", Kind::Shown, L"", 7},
      // A lone point on either side of the digits still parses; a point alone does not.
      {L".5%", Kind::Shown, L"", 0},
      {L".6%", Kind::Shown, L"", 1},
      {L"5.%", Kind::Shown, L"", 5},
      {L".%", Kind::Shown, L"", kNone},
      {L"a..%", Kind::Shown, L"", kNone},
      {L"1.2.3%", Kind::Shown, L"", kNone},
      // Only ASCII digits count.
      {L"\uFF15%", Kind::Shown, L"", kNone},
      {L"\u0665%", Kind::Shown, L"", kNone},
      // Past the bar's signed 32-bit position: saturates, never wraps or fails.
      {L"2147483647%", Kind::Shown, L"", INT_MAX},
      {L"2147483646.5%", Kind::Shown, L"", 2147483646},
      {L"2147483647.5%", Kind::Shown, L"", INT_MAX},
      {L"2147483648%", Kind::Shown, L"", INT_MAX},
      {L"4294967336%", Kind::Shown, L"", INT_MAX},
      {L"99999999999%", Kind::Shown, L"", INT_MAX},
      {L"1" + Repeat(L'0', 399) + L"%", Kind::Shown, L"", INT_MAX},
      {Repeat(L'9', 4000) + L".5%", Kind::Shown, L"", INT_MAX},
      // Long texts of small values: leading zeros, and a value below the smallest double.
      {Repeat(L'0', 400) + L"42%", Kind::Shown, L"", 42},
      {L"0." + Repeat(L'0', 400) + L"1%", Kind::Shown, L"", 0},
      {L"0." + Repeat(L'0', 400) + L"%", Kind::Shown, L"", 0},
  };
  for (const auto& c : cases) {
    const Step step = RunStep(c.line);
    const std::wstring expectedText = c.kind == Kind::Shown && c.text.empty() ? c.line : c.text;
    const std::wstring shown = c.line.size() > 80 ? c.line.substr(0, 80) + L"..." : c.line;
    SCOPED_TRACE(testing::Message() << '"' << testing::PrintToString(shown) << '"');
    EXPECT_STREQ(KindName(step.kind), KindName(c.kind));
    EXPECT_EQ(step.text, expectedText);
    EXPECT_EQ(step.bar, c.bar);
  }
}

}  // namespace
