#include "runner/line_cutter.h"

#include <cstdint>

namespace {

// Codes 0 to 32; wchar_t is signed on some platforms, and no negative value is a control.
bool IsBlankOrControl(wchar_t c) {
  return static_cast<std::uint32_t>(c) <= 32;
}

}  // namespace

std::wstring_view TrimControls(std::wstring_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlankOrControl(text[first])) {
    ++first;
  }
  std::size_t end = text.size();
  while (end > first && IsBlankOrControl(text[end - 1])) {
    --end;
  }
  return text.substr(first, end - first);
}

void LineCutter::Feed(std::wstring_view piece, const LineHandler& onLine) {
  // Only the new piece can hold a line feed: search from where it starts.
  std::size_t from = pending_.size();
  pending_.append(piece);
  std::size_t start = 0;
  for (std::size_t feed = pending_.find(L'\n', from); feed != std::wstring::npos;
       feed = pending_.find(L'\n', start)) {
    onLine(TrimControls(std::wstring_view(pending_).substr(start, feed + 1 - start)));
    start = feed + 1;
  }
  pending_.erase(0, start);
}
