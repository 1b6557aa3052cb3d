#include <gtest/gtest.h>

#include "screen/keys.h"
#include "support/driver.h"
#include "text/linestore.h"

namespace {
RunResult Screen(const std::string& keys, const BuildConfig& b = BuildKoi8) {
  RunOptions o;
  o.Build = &b;
  o.Text = "alpha\nbeta\ngamma\n";
  o.Keys = keys;
  return Drive(o);
}
}  // namespace

TEST(Keystrokes, TheScreenTellsTheBuildAndTheSavedLines) {
  RunResult r = Screen("<C-y><F10>6");  // a deleted line is in the ring
  EXPECT_EQ(r.Row(1).rfind("  To get back, press Alt+Ctrl+Tab or Alt+Shift+K. Now press any key.", 0), 0u);
  EXPECT_EQ(r.Row(2).rfind(" KOI8", 0), 0u);
  EXPECT_EQ(r.Row(4).rfind(" {$DEFINE BSD} {$DEFINE koi8r} {$DEFINE RUSSIAN}", 0), 0u);
  EXPECT_EQ(r.Row(6).rfind(" 0: alpha", 0), 0u);
  r = Screen("<F10>6", Build866Rkbd);
  EXPECT_EQ(r.Row(2).rfind(" ASCII", 0), 0u);
  EXPECT_EQ(r.Row(4).rfind(" {$DEFINE BSD} {$DEFINE RUSSIAN} {$DEFINE rusKBD}", 0), 0u);
}

TEST(Keystrokes, KeysAreShownOneLineEachUntilTheExitKey) {
  RunResult r = Screen("<F10>6<Enter>a");
  EXPECT_EQ(CellChar(r.At(1, 1)), 0x0D);
  EXPECT_EQ(r.Row(1).substr(3, 21), "   13  0D 1C 00 00  0");  // after the 3-byte glyph of CR
  EXPECT_EQ(r.Row(2).substr(0, 7), "a   97 ");
  EXPECT_EQ(CellAttr(r.At(1, 2)), 0x1E);
  // The exit key ends it; the editor comes back.
  // The exit key ends it, and so does the key its first line names; the
  // editor comes back.
  for (const BuildConfig* b : AllBuilds())
    for (const char* exit : {"<A-K>", "<C-A-Tab>", "<A-Tab>"}) {
      r = Screen(std::string("<F10>6x") + exit, *b);
      EXPECT_NE(r.Row(1).find("line="), std::string::npos) << b->Name << " " << exit;
    }
}

TEST(Keystrokes, SpaceFirstRestoresASavedLine) {
  RunResult r = Screen("<C-y><F10>6 0<Enter>");
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"alpha", "beta", "gamma"}));
  // Space later is just a key.
  r = Screen("<F10>6a ");
  EXPECT_EQ(r.Row(2).substr(0, 7), "    32 ");
}

TEST(Keystrokes, AUtf8FileShowsItsForm) {
  RunOptions o;
  o.Build = &BuildKoi8;
  o.Raw = true;
  o.Text = "\xD0\xB4\xD0\xBE\xD0\xBC\n";  // дом in UTF-8
  o.Keys = "<F10>6";
  RunResult r = Drive(o);
  EXPECT_EQ(r.Row(2).rfind(" UTF-8", 0), 0u) << r.Row(2);
}
