#include "runner/output_filter.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "runner/line_cutter.h"

const std::array<std::wstring_view, 16> NoisePatterns{
    L"Warning:",
    L"esptool v",
    L"Serial port",
    L"Connecting",
    L"Connected to",
    L"Uploading stub flasher",
    L"Running stub flasher",
    L"Stub flasher running",
    L"MAC:",
    L"Crystal frequency",
    L"USB mode",
    L"Features:",
    L"Chip type:",
    L"Hard resetting",
    L"A fatal error occurred",
    L"For troubleshooting steps",
};

namespace {

constexpr std::wstring_view kDetectionMarker = L"Detecting chip type";
constexpr std::wstring_view kDetectionText = L"Detecting chip type...";
constexpr std::wstring_view kDetectionPrefix = L"\U0001F50D Device detected: ";

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

}  // namespace

FilteredLine FilterLine(std::wstring_view trimmedLine) {
  if (trimmedLine.find(kDetectionMarker) != std::wstring_view::npos) {
    std::wstring rest(trimmedLine);
    if (const auto at = rest.find(kDetectionText); at != std::wstring::npos) {
      rest.erase(at, kDetectionText.size());
    }
    return {FilteredLine::Kind::Detected,
            std::wstring(kDetectionPrefix) + std::wstring(TrimControls(rest))};
  }
  for (std::wstring_view pattern : NoisePatterns) {
    if (trimmedLine.find(pattern) != std::wstring_view::npos) {
      return {FilteredLine::Kind::Noise, {}};
    }
  }
  return {trimmedLine.empty() ? FilteredLine::Kind::Empty : FilteredLine::Kind::Shown, {}};
}

std::optional<int> ProgressFrom(std::wstring_view line) {
  const std::size_t percent = line.find(L'%');
  if (percent == std::wstring_view::npos) {
    return std::nullopt;
  }
  std::size_t start = percent;
  while (start > 0 && (IsDigit(line[start - 1]) || line[start - 1] == L'.')) {
    --start;
  }
  // Digits and full stops only, so a narrow copy is exact. A full stop is the decimal point
  // whatever the user's locale says.
  std::string number;
  std::size_t points = 0;
  for (std::size_t i = start; i < percent; ++i) {
    if (line[i] == L'.') {
      ++points;
    }
    number += static_cast<char>(line[i]);
  }
  if (points > 1 || number.size() == points) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (end != number.data() + number.size() ||
      (error != std::errc{} && error != std::errc::result_out_of_range)) {
    return std::nullopt;
  }
  if (error == std::errc::result_out_of_range) {
    // Past a double's range: huge when the whole part has a digit other than 0, else tiny.
    const std::string_view whole = std::string_view(number).substr(0, number.find('.'));
    value = whole.find_first_not_of('0') != std::string_view::npos
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  }
  const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
  if (!(rounded <= static_cast<double>(std::numeric_limits<int>::max()))) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(rounded);
}
