#include "runner/line_cutter.h"

std::wstring_view TrimControls(std::wstring_view text) {
  std::size_t first = 0;
  while (first < text.size() && text[first] <= L' ') {
    ++first;
  }
  std::size_t end = text.size();
  while (end > first && text[end - 1] <= L' ') {
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
