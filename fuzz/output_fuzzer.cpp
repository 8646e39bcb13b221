// Feeds arbitrary tool output through the line cutter, the output filter and the progress
// parse together, read both as one character per byte and as UTF-16, and checks what must
// hold for every line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runner/line_cutter.h"
#include "runner/output_filter.h"

namespace {

constexpr std::wstring_view kMarker = L"Detecting chip type";
constexpr std::wstring_view kDetectedPrefix = L"\U0001F50D Device detected: ";

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool IsControl(wchar_t c) {
  return static_cast<std::uint32_t>(c) <= 32;
}

// An independent reading of the line's first percentage: the C library's strtod on the run
// of digits and full stops before it.
std::optional<int> ExpectedProgress(std::wstring_view line) {
  const std::size_t percent = line.find(L'%');
  if (percent == std::wstring_view::npos) {
    return std::nullopt;
  }
  std::size_t start = percent;
  while (start > 0 &&
         ((line[start - 1] >= L'0' && line[start - 1] <= L'9') || line[start - 1] == L'.')) {
    --start;
  }
  const std::string number(line.begin() + static_cast<std::ptrdiff_t>(start),
                           line.begin() + static_cast<std::ptrdiff_t>(percent));
  if (number.find_first_of("0123456789") == std::string::npos ||
      number.find('.') != number.rfind('.')) {
    return std::nullopt;
  }
  const double value = std::nearbyint(std::strtod(number.c_str(), nullptr));
  if (value >= 2147483647.0) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);
}

void CheckLine(std::wstring_view line) {
  Check(line.find(L'\n') == std::wstring_view::npos);
  Check(line.empty() || (!IsControl(line.front()) && !IsControl(line.back())));

  const FilteredLine filtered = FilterLine(line);
  const bool hasMarker = line.find(kMarker) != std::wstring_view::npos;
  bool hasNoise = false;
  for (std::wstring_view pattern : NoisePatterns) {
    hasNoise = hasNoise || line.find(pattern) != std::wstring_view::npos;
  }
  switch (filtered.kind) {
    case FilteredLine::Kind::Detected:
      Check(hasMarker);
      Check(filtered.text.starts_with(kDetectedPrefix));
      Check(filtered.text.size() <= kDetectedPrefix.size() + line.size());
      return;
    case FilteredLine::Kind::Noise:
      Check(!hasMarker && hasNoise);
      return;
    case FilteredLine::Kind::Shown:
    case FilteredLine::Kind::Empty:
      Check(!hasMarker && !hasNoise);
      Check((filtered.kind == FilteredLine::Kind::Empty) == line.empty());
      break;
  }
  const std::optional<int> position = ProgressFrom(line);
  Check(position == ExpectedProgress(line));
  Check(!position || *position >= 0);
}

struct Cut {
  std::vector<std::wstring> lines;
  std::wstring pending;
};

// Cuts the text in pieces of the given sizes, in turn; the lines must not depend on them.
Cut CutInPieces(std::wstring_view text, const std::vector<std::size_t>& sizes) {
  LineCutter cutter;
  Cut cut;
  std::size_t at = 0;
  for (std::size_t turn = 0; at < text.size(); ++turn) {
    const std::wstring_view piece = text.substr(at, sizes[turn % sizes.size()]);
    cutter.Feed(piece, [&](std::wstring_view line) {
      CheckLine(line);
      cut.lines.emplace_back(line);
    });
    at += piece.size();
  }
  cut.pending = cutter.Pending();
  return cut;
}

void RunText(std::wstring_view text) {
  const Cut whole = CutInPieces(text, {text.size() + 1});
  const Cut split = CutInPieces(text, {1, 7, 1024, 3});
  Check(whole.lines == split.lines);
  Check(whole.pending == split.pending);
  Check(whole.pending.find(L'\n') == std::wstring::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring bytes;
  for (std::size_t i = 0; i < size; ++i) {
    bytes += static_cast<wchar_t>(data[i]);
  }
  RunText(bytes);

  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  RunText(units);
  return 0;
}
