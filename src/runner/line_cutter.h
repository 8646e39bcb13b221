// Cuts a tool's decoded output into lines: only the line feed ends a line, each line is
// trimmed, and text after the last line feed waits for the next piece (or is dropped).
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Receives each output line of a tool run, cut at line feeds and trimmed.
using LineHandler = std::function<void(std::wstring_view line)>;

// Removes every character of code 32 or less at both ends.
std::wstring_view TrimControls(std::wstring_view text);

class LineCutter {
 public:
  // Appends a decoded piece and hands every complete line it finishes to `onLine`, in order.
  void Feed(std::wstring_view piece, const LineHandler& onLine);
  // Text after the last line feed so far.
  const std::wstring& Pending() const { return pending_; }

 private:
  std::wstring pending_;
};
