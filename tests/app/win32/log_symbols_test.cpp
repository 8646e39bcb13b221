// The log's symbols as the text machinery draws them. A run of text whose font lacks a
// character is shaped again in the fallback font (under Wine, "Microsoft Sans Serif" for Latin
// text): that font must have every symbol the log writes, and the log's own font must stay
// itself. (Wine 8 does not fall back for 🔍, a pair of surrogates: it shows only once the log's
// own font has it.)
#include <windows.h>

#include <usp10.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/form_layout_win32.h"
#include "app/win32/window_helpers_win32.h"
#include "win32/unique_handle.h"

namespace {

struct Shaped {
  HRESULT result = E_FAIL;
  DWORD fontFileSize = 0;  // tells which font file the system chose
  std::vector<WORD> glyphs;
  WORD missing = 0;  // the font's glyph for a character it lacks
};

Shaped ShapeIn(HFONT font, const std::wstring& text) {
  Shaped shaped;
  const UniqueAny<MemoryDcTraits> dc(CreateCompatibleDC(nullptr));
  const HGDIOBJ old = SelectObject(dc.get(), font);
  shaped.fontFileSize = GetFontData(dc.get(), 0, 0, nullptr, 0);

  SCRIPT_CACHE cache = nullptr;
  std::vector<SCRIPT_ITEM> items(text.size() + 1);
  int itemCount = 0;
  shaped.result =
      ScriptItemize(text.c_str(), static_cast<int>(text.size()), static_cast<int>(items.size()),
                    nullptr, nullptr, items.data(), &itemCount);
  SCRIPT_FONTPROPERTIES properties{};
  properties.cBytes = sizeof(properties);
  if (SUCCEEDED(shaped.result)) {
    shaped.result = ScriptGetFontProperties(dc.get(), &cache, &properties);
    shaped.missing = properties.wgDefault;
  }
  for (int item = 0; item < itemCount && SUCCEEDED(shaped.result); ++item) {
    const int start = items[static_cast<std::size_t>(item)].iCharPos;
    const int length = items[static_cast<std::size_t>(item) + 1].iCharPos - start;
    std::vector<WORD> glyphs(static_cast<std::size_t>(length) * 2 + 16);
    std::vector<WORD> clusters(static_cast<std::size_t>(length));
    std::vector<SCRIPT_VISATTR> visual(glyphs.size());
    int glyphCount = 0;
    shaped.result =
        ScriptShape(dc.get(), &cache, text.c_str() + start, length, static_cast<int>(glyphs.size()),
                    &items[static_cast<std::size_t>(item)].a, glyphs.data(), clusters.data(),
                    visual.data(), &glyphCount);
    shaped.glyphs.insert(shaped.glyphs.end(), glyphs.begin(), glyphs.begin() + glyphCount);
  }
  ScriptFreeCache(&cache);
  SelectObject(dc.get(), old);
  return shaped;
}

TEST(LogSymbols, TheFallbackFontHasEachSymbolAndTheLogKeepsItsOwnFont) {
  const std::wstring symbols[] = {L"\u2714", L"\u274C", L"\u27A1", L"\u26A0", L"\U0001F50D"};
  const UniqueGdiObject fallback(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                             DEFAULT_CHARSET, 0, 0, 0, 0, L"Microsoft Sans Serif"));
  for (const std::wstring& symbol : symbols) {
    SCOPED_TRACE(testing::PrintToString(symbol));
    const Shaped shaped = ShapeIn(static_cast<HFONT>(fallback.get()), symbol);
    ASSERT_HRESULT_SUCCEEDED(shaped.result);
    ASSERT_EQ(shaped.glyphs.size(), 1u);  // one glyph, also for the pair of surrogates
    EXPECT_NE(shaped.glyphs.front(), 0);
    EXPECT_NE(shaped.glyphs.front(), shaped.missing);
  }

  // The symbol font stands in only where the log's font has no glyph.
  const UniqueGdiObject logFont = MakeFont(FontOf(FontRole::Window), kDesignDpi);
  const Shaped text = ShapeIn(static_cast<HFONT>(logFont.get()), L"Stick detected");
  const Shaped symbol = ShapeIn(static_cast<HFONT>(fallback.get()), L"x");
  ASSERT_NE(text.fontFileSize, GDI_ERROR);
  EXPECT_NE(text.fontFileSize, symbol.fontFileSize);
}

}  // namespace
