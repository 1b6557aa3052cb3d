#include <gtest/gtest.h>

#include "builds/bindings.h"
#include "core/commands.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/linestore.h"

namespace {
std::string Trimmed(const std::string& s) {
  size_t n = s.find_last_not_of(' ');
  return n == std::string::npos ? std::string() : s.substr(0, n + 1);
}
}  // namespace

// Every code of every build's bindings table reaches its own command.
TEST(MainLoop, EveryBindingRunsItsCommandInEveryBuild) {
  ScratchDir dir;  // the commands' own files go here, never to the shared ones
  for (const BuildConfig* b : AllBuilds()) {
    for (const Binding& binding : b->Bindings) {
      // Help and "edit another file" start a second editor process.
      if (binding.Command == Cmd::Help || binding.Command == Cmd::EditAnotherFile) continue;
      SelectBuild(*b);
      ResetAllState();
      ResetScreen(80, 25);
      Ed.ClipboardPath = dir.Path("VeskClip");
      Ed.StatePath = dir.Path("VeskINI");
      Ed.SavedStringsPath = dir.Path("VeskSS");
      HeadlessTerminal term(b->Set);
      Term = &term;
      ASSERT_TRUE(InitLineStore());
      for (int i = 1; i <= 30; ++i) AppendLine("word and more words " + std::to_string(i), Txt.LineWidth);
      Ed.CurLine = 10;
      Ed.CurCol = 3;
      term.Script.push_back({binding.Code, {}});
      for (int i = 0; i < 4; ++i) term.Script.push_back({0x011B, {}});  // answers any question or prompt
      try {
        MainLoopTurn();
      } catch (const ProgramExit&) {
      } catch (const InputLost&) {
      }
      EXPECT_EQ(Loop.LastCommand, int(binding.Command))
          << b->Name << " code " << std::hex << binding.Code << " " << CommandName(binding.Command);
      Term = nullptr;
      ResetLineStore();
    }
  }
}

TEST(MainLoop, CodesOutsideTheTableAreTypedOrIgnored) {
  RunOptions o;
  o.Text = "\n";
  // The Alt key and the completed sequence ask for a key definition (Esc
  // gives up); the unbound function key and the untranslated code do nothing.
  o.Keys = "<#00001E61><#0204FF03><#00081E00><Esc><#000F875E><Esc><#03000000>b";
  RunResult r = Drive(o);
  EXPECT_EQ(r.Lines[0], "ab");
}

TEST(MainLoop, LiteralMode) {
  RunOptions o;
  o.Text = "\n";
  o.Keys = "<C-q>65<Enter><C-q>a<C-q><F3><C-q>#x<C-q>300<Enter>";
  RunResult r = Drive(o);
  EXPECT_EQ(r.Lines[0], std::string("A\x01\x03x,"));  // 300 wraps to 44, a comma
}

TEST(MainLoop, LiteralModeShowsItsPrompt) {
  RunOptions o;
  o.Text = "\n";
  o.Keys = "<C-q>";
  RunResult r = Drive(o);
  EXPECT_EQ(r.Row(2).substr(0, 14), "Press a letter");
}

TEST(MainLoop, UndoLastChangeRestoresTheLineBeforeThePreviousCommand) {
  for (const BuildConfig* b : AllBuilds()) {
    RunOptions o;
    o.Build = b;
    o.Text = "\n";
    o.Keys = "ab" + std::string("<#") + [&] {
      char buf[9];
      std::snprintf(buf, sizeof buf, "%08X", CodeOf(*b, Cmd::UndoLastChange));
      return std::string(buf);
    }() + ">";
    RunResult r = Drive(o);
    EXPECT_EQ(r.Lines[0], "a") << b->Name;
    EXPECT_EQ(r.CurCol, 2) << b->Name;
  }
}

TEST(MainLoop, HorizontalScrollingByHalfScreensOrAsNeeded) {
  RunOptions o;
  o.Text = std::string(200, 'x') + "\n";
  o.Keys = "<End>";
  o.Switches = {"-w"};
  Drive(o);
  EXPECT_EQ(Ed.HScroll, 160);  // 201 - 160 = column 41 on screen
  o.Keys = "";
  for (int i = 0; i < 80; ++i) o.Keys += "<Right>";
  Drive(o);
  EXPECT_EQ(Ed.CurCol, 81);
  EXPECT_EQ(Ed.HScroll, 40);
  o.Switches = {"-w", "-j"};
  Drive(o);
  EXPECT_EQ(Ed.HScroll, 1);
}

TEST(MainLoop, VerticalLinesAreTypedDownwards) {
  RunOptions o;
  o.Text = "\n\n\n";
  o.Keys = "<Right><Right>││";
  RunResult r = Drive(o);
  EXPECT_EQ(FromSet(Charset::Koi8, r.Lines[0]), "  │");
  EXPECT_EQ(FromSet(Charset::Koi8, r.Lines[1]), "  │");
  EXPECT_EQ(r.CurLine, 3);
  EXPECT_EQ(r.CurCol, 3);
  o.Build = &Build866;
  o.Keys = "║";
  r = Drive(o);
  EXPECT_EQ(FromSet(Charset::Cp866, r.Lines[0]), "║");
  EXPECT_EQ(r.CurLine, 2);
}

TEST(MainLoop, PascalKeywordKeys) {
  RunOptions o;
  o.Text = "\n";
  o.FileName = "unit.pas";
  o.Keys = "<C-b><C-t><#00001599>";
  RunResult r = Drive(o);
  EXPECT_EQ(Trimmed(r.Lines[0]), "  Begin then Writeln();");
  EXPECT_EQ(r.CurCol, 3 + 6 + 5 + 8);  // inside the parentheses
  o.FileName = "plain.txt";
  o.Keys = "<C-b><C-t>";
  r = Drive(o);
  EXPECT_EQ(r.Lines[0], "\x02the");
}

TEST(MainLoop, TypingTwoParagraphsAndSaving) {
  for (const BuildConfig* b : AllBuilds()) {
    RunOptions o;
    o.Build = b;
    o.Text = "";
    o.FileName = "notes.30";  // lines of 30
    o.Keys = "Съешь же ещё этих мягких французских булок, да выпей чаю.<Enter><Enter>second paragraph<F2><Esc>";
    RunResult r = Drive(o);
    EXPECT_EQ(r.ExitStatus, 0) << b->Name;
    std::string content = FromSet(b->Set, r.FileContent());
    EXPECT_EQ(content, "Съешь же ещё этих мягких\nфранцузских булок, да выпей\nчаю.\n\nsecond paragraph\n")
        << b->Name;
  }
}
