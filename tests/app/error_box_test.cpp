#include "app/error_box.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorBox, FullStopAddedOnlyAfterACharacterThatSortsAfterIt) {
  const struct {
    std::wstring_view message;
    std::wstring_view shown;
  } cases[] = {
      {L"Impossible de cr\u00e9er le r\u00e9pertoire",
       L"Impossible de cr\u00e9er le r\u00e9pertoire."},
      {L"Type de donn\u00e9es incorrect pour 'COM1'",
       L"Type de donn\u00e9es incorrect pour 'COM1'"},
      {L"Code 7", L"Code 7."},
      {L"Done.", L"Done."},
      {L"Why?", L"Why?."},   // '?' sorts after '.'
      {L"Stop!", L"Stop!"},  // '!' sorts before '.'
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorBoxText(c.message), c.shown);
  }
}

TEST(ErrorBox, CaptionFromTheProgramFileName) {
  const struct {
    std::wstring_view path;
    std::wstring_view caption;
  } cases[] = {
      {L"C:\\Program Files\\VantorTrackerFlasher.exe", L"Vantortrackerflasher"},
      {L"Z:\\a.b\\My.Tool.exe", L"My"},
      {L"vantor.exe", L"vantor"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorBoxCaption(c.path), c.caption);
  }
}

}  // namespace
