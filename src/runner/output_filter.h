// What the user sees of one line of the tool's output: the chip detection line rewritten,
// the tool's chatter dropped, everything else shown; and the percentage that moves the bar.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The tool's chatter, tried in this order; case-sensitive, anywhere in the line.
extern const std::array<std::wstring_view, 16> NoisePatterns;

struct FilteredLine {
  enum class Kind {
    Detected,  // rewritten: `text` goes to the log itself
    Noise,     // dropped
    Shown,     // the line goes to the caller's lines unchanged, then to ParseProgress
    Empty,     // nothing shown; still given to ParseProgress
  };
  Kind kind;
  std::wstring text;  // the rewritten message, for Detected only
};

// The line step's decision for one trimmed line.
FilteredLine FilterLine(std::wstring_view trimmedLine);

// The bar position for a line's first percentage, or nothing when it holds none that parses.
// A full stop is the decimal point; halves round to even; a value past the bar's integer
// range saturates (it shows full either way).
std::optional<int> ProgressFrom(std::wstring_view line);
