#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/state.h"
#include "edit/prompt.h"
#include "support/fixture.h"

namespace fs = std::filesystem;

namespace {
constexpr uint32_t Enter = 0x1C0D, Esc = 0x011B, Home = 0x0200FF20, CtrlQ = 0x1011, Up = 0x0200FF21,
                   Down = 0x0200FF27;
uint32_t Char(char c) { return uint8_t(c); }
}  // namespace

// (Editing the offered text through the keys: cases prompt-* in tests/cases.)
class PromptTest : public EditorTest {
 protected:
  PromptTest() {
    MakeText(3);
    dir = testing::TempDir() + "vesk-prompt-" + std::to_string(getpid());
    fs::create_directories(dir);
    Ed.SavedStringsPath = dir + "/VeskSS";
    Ed.ClipboardPath = dir + "/VeskClip";
  }
  ~PromptTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string Edit(std::string text, PromptKind kind, std::initializer_list<uint32_t> keys) {
    Keys(keys);
    const PromptResult r = PromptLine(kind, text);
    end = r.End;
    return r.Text;
  }
  std::string dir;
  PromptEnd end = PromptEnd::Cancelled;  // how the last Edit ended
};

TEST_F(PromptTest, EndingKeys) {
  EXPECT_EQ(Edit("abc", PromptKind::Other, {Char('z'), Esc}), "z");
  EXPECT_EQ(end, PromptEnd::Cancelled);
  Edit("abc", PromptKind::Other, {0x1910});
  EXPECT_EQ(end, PromptEnd::IntoText);
  Edit("abc", PromptKind::Search, {0x240A});  // Ctrl+J: ends, scan F0 for "from the top"
  EXPECT_EQ(end, PromptEnd::AcceptedFromTop);
  EXPECT_EQ(KeyScan(), 0xF0);
  Edit("abc", PromptKind::Other, {0x240A, Enter});  // other kinds: nothing
  EXPECT_EQ(KeyScan(), 0x1C);
  EXPECT_EQ(end, PromptEnd::Accepted);
}

TEST_F(PromptTest, ByteEntryWithCtrlQ) {
  std::string s = Edit("", PromptKind::Other, {CtrlQ, Char('1'), Char('3'), Enter});
  EXPECT_EQ(s, "\r");  // and the prompt ended as if Enter had been pressed
  EXPECT_EQ(Edit("", PromptKind::Other, {CtrlQ, Char('a'), Enter}), "\x01");
  EXPECT_EQ(Edit("", PromptKind::Other, {CtrlQ, Char('B'), Enter}), "\x02");
  EXPECT_EQ(Edit("", PromptKind::Other, {CtrlQ, Char('['), Enter}), "\x1B");
  EXPECT_EQ(Edit("", PromptKind::Other, {CtrlQ, Char('3'), Char('2'), Char('1'), Enter}), "A");  // 321 mod 256
}

TEST_F(PromptTest, TypingStopsAtTheScreenWidth) {
  Terminal.Script.clear();
  for (int i = 0; i < 60; ++i) Terminal.Script.push_back({Char('a' + i % 26), {}});
  Terminal.Script.push_back({Enter, {}});
  std::string s = PromptLine(PromptKind::Other).Text;
  EXPECT_EQ(s.size(), 53u);
  ResetScreen(132, 25);
  for (int i = 0; i < 120; ++i) Terminal.Script.push_back({Char('x'), {}});
  Terminal.Script.push_back({Enter, {}});
  s = PromptLine(PromptKind::Other).Text;
  EXPECT_EQ(s.size(), 105u);
  // A longer text offered by the caller stays whole.
  EXPECT_EQ(Edit(std::string(200, 'q'), PromptKind::Other, {Enter}).size(), 200u);
}

TEST_F(PromptTest, TheHistoryFillsEmptySlotsThenTheOneBeforeTheCurrent) {
  for (int i = 0; i < 16; ++i) Edit("", PromptKind::Search, {Char(char('a' + i)), Enter});
  for (const std::string& slot : Prompt.StringHistory) EXPECT_EQ(slot.size(), 1u);
  uint8_t before = Prompt.HistoryIndex;
  Edit("", PromptKind::Search, {Char('z'), Enter});
  EXPECT_EQ(Prompt.HistoryIndex, (before + 15) % 16);
  EXPECT_EQ(Prompt.StringHistory[Prompt.HistoryIndex], "z");
  // Browsing and accepting unchanged stores nothing.
  auto saved = Prompt.StringHistory;
  Edit("", PromptKind::Search, {Up, Up, Down, Enter});
  EXPECT_EQ(Prompt.StringHistory, saved);
  // Esc after editing still stores; the history keeps 53 bytes.
  EXPECT_EQ(Edit("", PromptKind::Replace, {Char('w'), Esc}), "w");
  EXPECT_EQ(Prompt.StringHistory[Prompt.HistoryIndex], "w");
  Edit(std::string(100, 'l'), PromptKind::Search, {Home, Enter});
}

TEST_F(PromptTest, TheSavedStringsFileRoundTrips) {
  Edit("", PromptKind::Search, {Char('a'), Enter});
  Edit("", PromptKind::Search, {Char('b'), Enter});
  Prompt.QuickSearchCase = -3;
  SaveStringHistory();
  PromptState before = Prompt;
  ResetPromptState();
  LoadStringHistory();
  // The file keeps the slots in order from the current one backwards.
  for (int k = 0; k < 16; ++k)
    EXPECT_EQ(Prompt.StringHistory[size_t((Prompt.HistoryIndex + 16 - k) % 16)],
              before.StringHistory[size_t((before.HistoryIndex + 16 - k) % 16)]);
  EXPECT_EQ(Prompt.LoadedCase, -3);
  EXPECT_EQ(Ed.SearchString, "b");
  // Short, long and garbage files are safe.
  { std::ofstream(Ed.SavedStringsPath) << std::string(500, 'x') << "\nshort\n"; }
  LoadStringHistory();
  EXPECT_EQ(Prompt.StringHistory[Prompt.HistoryIndex].size(), 53u);
  EXPECT_TRUE(Prompt.StringHistory[(Prompt.HistoryIndex + 14) % 16].empty());
  fs::remove(Ed.SavedStringsPath);
  LoadStringHistory();  // missing: nothing changes
  EXPECT_EQ(Prompt.StringHistory[Prompt.HistoryIndex].size(), 53u);
}

TEST_F(PromptTest, ClipboardCopyAndPaste) {
  Edit("clip me", PromptKind::Other, {0x2E03, Enter});
  std::ifstream f(Ed.ClipboardPath);
  std::string type, line;
  std::getline(f, type);
  std::getline(f, line);
  EXPECT_EQ(type, "B");
  EXPECT_EQ(line, "clip me");
  EXPECT_EQ(Edit("", PromptKind::Other, {0x2D18, Enter}), "");
  EXPECT_EQ(Edit("other", PromptKind::Other, {0x2F16, Enter}), "");
  Edit("again", PromptKind::Other, {0x2E03, Enter});
  EXPECT_EQ(Edit("other", PromptKind::Other, {0x2F16, Enter}), "again");
}

TEST_F(PromptTest, KeyCodeLengthenAndShortenKeys) {
  // In vesk-koi8-rkbd the key-code key is 1494.
  EXPECT_EQ(Edit("", PromptKind::Other, {0x1494, 0x0200FF05, Enter}), "0200FF05");
  EXPECT_EQ(Edit("abc", PromptKind::Other, {0x1B9D, Enter}), "ab");
  EXPECT_EQ(Edit("abc", PromptKind::Other, {0x1B9D, 0x1B9D, 0x0C9F, Enter}), "ab");
  EXPECT_EQ(Edit("", PromptKind::Other, {0x0C9F, Enter}), " ");
}

TEST_F(PromptTest, MarkKeysSetMarksFromThePrompt) {
  Ed.CurLine = 2;
  Ed.CurCol = 5;
  Edit("", PromptKind::Other, {0x2DB8, 0x21A6, Enter});
  EXPECT_EQ(Ed.LineMarks[2], 2);
  EXPECT_EQ(Ed.PositionMarks[1].Line, 2);
  EXPECT_EQ(Ed.PositionMarks[1].Column, 5);
}

TEST_F(PromptTest, TheMacroWordIsThePieceBetweenDotsUnderTheCursor) {
  StoreLine("x abc.def.ghi y", 1);
  Ed.CurLine = 1;
  Ed.CurCol = 8;  // the e
  EXPECT_EQ(Edit("", PromptKind::MacroWord, {Enter}), "def");
  Ed.CurCol = 3;
  EXPECT_EQ(Edit("", PromptKind::MacroWord, {Enter}), "abc");
  Ed.CurCol = 13;
  EXPECT_EQ(Edit("", PromptKind::MacroWord, {Enter}), "ghi");
}

TEST(PromptKeys, EachBuildHasItsOwnMarkKeys) {
  for (const BuildConfig* b : AllBuilds()) {
    SelectBuild(*b);
    ResetAllState();
    ResetScreen(80, 25);
    ASSERT_TRUE(InitLineStore());
    AppendLine("line", 10);
    HeadlessTerminal t(b->Set);
    Term = &t;
    Ed.CurLine = 1;
    t.Script.push_back({b->PromptKeys.LineMark[0], {}});
    t.Script.push_back({0x1C0D, {}});
    std::string s = PromptLine(PromptKind::Other).Text;
    EXPECT_EQ(Ed.LineMarks[0], 1) << b->Name;
    EXPECT_EQ(s, "") << b->Name;
    Term = nullptr;
    ResetLineStore();
  }
}
