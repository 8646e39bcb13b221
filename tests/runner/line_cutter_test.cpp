#include "runner/line_cutter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace std::literals;

// A line as it reached the handler, with the index of the piece whose Feed handed it on.
using Arrival = std::pair<int, std::wstring>;

struct Cut {
  std::vector<Arrival> arrivals;
  std::wstring pending;
};

Cut Feed(const std::vector<std::wstring_view>& pieces) {
  LineCutter cutter;
  Cut cut;
  int piece = 0;
  for (std::wstring_view text : pieces) {
    cutter.Feed(text, [&](std::wstring_view line) { cut.arrivals.emplace_back(piece, line); });
    ++piece;
  }
  cut.pending = cutter.Pending();
  return cut;
}

TEST(LineCutter, CutsAtLineFeedsAndTrims) {
  const std::wstring longLine(5000, L'x');
  std::wstring controls;  // every code from 0 to 32 but the line feed
  for (wchar_t c = 0; c <= 32; ++c) {
    if (c != L'\n') {
      controls += c;
    }
  }
  const std::wstring framed = controls + L"x\0y"s + controls + L"\n";
  const struct {
    const char* name;
    std::vector<std::wstring_view> pieces;
    std::vector<Arrival> arrivals;
    std::wstring pending;
  } cases[] = {
      {"nothing", {}, {}, L""},
      {"empty pieces", {L""sv, L""sv}, {}, L""},
      {"several lines of one piece, in order",
       {L"a\nb\nc\n"sv},
       {{0, L"a"}, {0, L"b"}, {0, L"c"}},
       L""},
      {"the last line without a line feed waits", {L"a\nb"sv}, {{0, L"a"}}, L"b"},
      {"a line split across pieces arrives once, whole",
       {L"Wri"sv, L"ting"sv, L" at 0x0\nnext"sv, L" line\n"sv},
       {{2, L"Writing at 0x0"}, {3, L"next line"}},
       L""},
      {"each piece's lines before the next piece",
       {L"a\nb"sv, L"c\nd\ne\nf"sv, L"\n"sv},
       {{0, L"a"}, {1, L"bc"}, {1, L"d"}, {1, L"e"}, {2, L"f"}},
       L""},
      {"CR LF falls away", {L"one\r\ntwo\r"sv, L"\n"sv}, {{0, L"one"}, {1, L"two"}}, L""},
      {"a CR in the middle stays",
       {L"\rWriting\r 50%\rdone \r\n"sv},
       {{0, L"Writing\r 50%\rdone"}},
       L""},
      {"a lone CR does not end a line", {L"a\rb\r"sv}, {}, L"a\rb\r"},
      {"blank lines arrive empty", {L"\n \t\n\r\n"sv}, {{0, L""}, {0, L""}, {0, L""}}, L""},
      {"every code from 0 to 32 is trimmed at both ends", {framed}, {{0, L"x\0y"s}}, L""},
      {"codes above 32 stay, the no-break space included",
       {L"\u00A0a\u00A0\n!b!\n\x7F\x7F\n\u3000c\u2028\n"sv},
       {{0, L"\u00A0a\u00A0"}, {0, L"!b!"}, {0, L"\x7F\x7F"}, {0, L"\u3000c\u2028"}},
       L""},
      {"a long line in many pieces",
       {std::wstring_view(longLine).substr(0, 1024), std::wstring_view(longLine).substr(1024),
        L"\n"sv},
       {{2, longLine}},
       L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Cut cut = Feed(c.pieces);
    EXPECT_EQ(cut.arrivals, c.arrivals);
    EXPECT_EQ(cut.pending, c.pending);
  }
}

TEST(LineCutter, ManyLinesInManyPiecesKeepTheirOrder) {
  std::wstring text;
  for (int i = 0; i < 3000; ++i) {
    text += L"line " + std::to_wstring(i) + L"\r\n";
  }
  // Pieces of a size that cuts lines, and CR LF pairs, everywhere.
  std::vector<std::wstring_view> pieces;
  for (std::size_t at = 0; at < text.size(); at += 7) {
    pieces.push_back(std::wstring_view(text).substr(at, 7));
  }
  const Cut cut = Feed(pieces);
  ASSERT_EQ(cut.arrivals.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(cut.arrivals[static_cast<std::size_t>(i)].second, L"line " + std::to_wstring(i));
  }
  EXPECT_EQ(cut.pending, L"");
}

}  // namespace
