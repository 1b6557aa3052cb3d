#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/editor.h"
#include "base/state.h"
#include "screen/keys.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/messages.h"

namespace fs = std::filesystem;

namespace {
std::string Lines(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "line " + std::to_string(i) + "\n";
  return s;
}
}  // namespace

class SwitchesTest : public EditorTest {};

TEST_F(SwitchesTest, DigitsAndDirectories) {
  Ed.BaseName = "a.txt";
  ScanSwitches("-t4 -w -+ -j -p -k -c5 ");
  EXPECT_EQ(Ed.TabWidth, 4);
  EXPECT_FALSE(Ed.StartScreen);
  EXPECT_FALSE(Ed.CrossHair);
  EXPECT_FALSE(Ed.HalfScroll);
  EXPECT_FALSE(Ed.AskRecodeOnLoad);
  EXPECT_TRUE(Ed.LoadKeyBufferAtStart);
  EXPECT_EQ(Ed.CommentColour, 5);
  ComputeTabStops();
  EXPECT_EQ(Ed.TabStops[0], 1);
  EXPECT_EQ(Ed.TabStops[1], 5);
  EXPECT_EQ(Ed.TabStops[2], 9);

  ScanSwitches("-x/var/tmp/ ");
  EXPECT_EQ(Ed.ClipboardPath, "/var/tmp/VeskClip");
  EXPECT_EQ(Ed.SavedStringsPath, "/var/tmp/VeskSS");
  ScanSwitches("-x/var/tmp ");
  EXPECT_EQ(Ed.ClipboardPath, "/var/tmpVeskClip");
  ScanSwitches("-I/home/u/st/ ");
  EXPECT_EQ(Ed.StatePath, "/home/u/st/a.txt.VkIni");
  // A '-' inside a directory is part of it, not a switch.
  ScanSwitches("-x/tmp/my-tab/ ");
  EXPECT_EQ(Ed.ClipboardPath, "/tmp/my-tab/VeskClip");
  EXPECT_EQ(Ed.TabWidth, 4);
  // Unknown letters and text without '-' are ignored; a trailing '-' too.
  ScanSwitches("-q junk -");
}

TEST(StartUp, EmptyArgumentListHasOneEmptyLineAndTheDefaultStatePath) {
  SelectBuild(BuildKoi8);
  ResetAllState();
  ResetScreen(80, 25);
  HeadlessTerminal term(Charset::Koi8);
  Term = &term;
  StartEditor({});
  Term = nullptr;
  EXPECT_EQ(Txt.LineCount, 1);
  EXPECT_TRUE(Ed.FileName.empty());
  EXPECT_EQ(Ed.StatePath, "/tmp/VeskINI");
  ResetLineStore();
}

TEST(StartUp, TheStartScreenWaitsForAKeyUnlessW) {
  RunOptions o;
  o.Text = "hello\n";
  o.Switches.clear();
  RunResult r = Drive(o);  // no key at all: the start screen stands
  EXPECT_EQ(r.ExitStatus, -1);
  EXPECT_NE(r.Row(16).find(" Press any key. "), std::string::npos);
  EXPECT_NE(r.Row(6).find("Menu - F10"), std::string::npos);
  EXPECT_EQ(CellAttr(r.At(40, 16)), 0x0D);

  o.Keys = "x";  // any key goes
  r = Drive(o);
  EXPECT_EQ(r.Row(3).substr(0, 5), "hello");
  EXPECT_EQ(r.Row(16).find("Press"), std::string::npos);

  o.Switches = {"-w"};
  o.Keys = "";
  r = Drive(o);
  EXPECT_EQ(r.Row(3).substr(0, 5), "hello");
}

TEST(StartUp, TheLastArgumentIsAlwaysTheFile) {
  RunOptions o;
  o.FileName = "-w";
  o.Switches.clear();
  o.Text = "dash file\n";
  o.Keys = "x<Esc>";  // the start screen is on: '-w' is the file, not a switch
  RunResult r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 0);
  EXPECT_EQ(r.Lines, std::vector<std::string>{"dash file"});
}

TEST(StartUp, FileNameRulesSetWidthsAndPascalMode) {
  RunOptions o;
  o.FileName = "report.72";
  o.Text = "x\n";
  Drive(o);
  EXPECT_EQ(Txt.LineWidth, 72);
  EXPECT_EQ(Ed.FormatWidth, 72);
  EXPECT_EQ(StoredLength(1), 72);
  o.FileName = "unit.pas";
  Drive(o);
  EXPECT_EQ(Ed.Source, SourceMode::Pascal);
  EXPECT_EQ(Ed.IndentColumn, 3);
  EXPECT_EQ(Txt.LineWidth, 85);
  EXPECT_EQ(Ed.CurCol, 3);
  EXPECT_EQ(Ed.TabStops[1], 11);
  o.FileName = "Prog.Dpr";
  Drive(o);
  EXPECT_EQ(Ed.Source, SourceMode::Pascal);
  o.FileName = "notes.txt";
  Drive(o);
  EXPECT_EQ(Ed.Source, SourceMode::Plain);
  EXPECT_EQ(Txt.LineWidth, 254);
  o.FileName = "a.0";  // 0 is not a width
  Drive(o);
  EXPECT_EQ(Txt.LineWidth, 254);
}

TEST(StartUp, AMissingFileIsCreatedAndAnnounced) {
  RunOptions o;
  o.CreateFile = false;
  RunResult r = Drive(o);
  EXPECT_TRUE(fs::exists(r.Path));
  EXPECT_EQ(FromSet(Charset::Koi8, ToSet(Charset::Koi8, "Новый файл.")), "Новый файл.");
  EXPECT_EQ(r.Row(2).substr(0, std::string("Новый файл.").size()), "Новый файл.");

  o.Keys = "<Esc>2";  // Esc clears the message and runs: a new file counts as changed
  r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 3);
  EXPECT_EQ(r.Lines, std::vector<std::string>{""});
  o.Keys = "x<Esc>1";  // x clears the message and is typed
  r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 1);
  EXPECT_EQ(r.FileContent(), "x\n");
}

TEST(StartUp, AFileThatCannotBeCreatedLeavesAnUnnamedText) {
  RunOptions o;
  o.CreateFile = false;
  o.FileName = "no/such/dir.txt";
  o.Keys = "x<Esc>";  // the message takes x; Esc refuses to name another file
  RunResult r = Drive(o);
  EXPECT_TRUE(Ed.FileName.empty());
  EXPECT_EQ(Txt.LineCount, 1);
}

TEST(StartUp, OnlyARegularFileIsRead) {
  // A directory or a fifo in the file's place is a name that cannot be
  // opened; the fifo's open must not wait for a writer.
  const std::string bad = "Неверное имя файла!";
  const std::string fifo = (fs::temp_directory_path() / ("vesk-fifo-" + std::to_string(getpid()))).string();
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {std::string("."), "../" + fs::path(fifo).filename().string()}) {
    RunOptions o;
    o.CreateFile = false;
    o.FileName = name;
    RunResult r = Drive(o);
    EXPECT_EQ(r.Row(2).substr(0, bad.size()), bad) << name;
    o.Keys = "x<Esc>";  // the message takes x; Esc refuses another name
    Drive(o);
    EXPECT_TRUE(Ed.FileName.empty()) << name;
    EXPECT_EQ(Txt.LineCount, 1) << name;
  }
  fs::remove(fifo);
}

TEST(StartUp, LoadingKeepsBytesAndLineEnds) {
  RunOptions o;
  o.Raw = true;
  o.Text = std::string("lf\ncr\rcrlf\r\n\ttab\0nul\r\rlast", 27);
  RunResult r = Drive(o);
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"lf", "cr", "crlf", std::string("\ttab\0nul", 8), "", "last"}));
  EXPECT_FALSE(Txt.Modified);
  o.Text = std::string(300, 'a') + "\nnext\n";
  r = Drive(o);
  ASSERT_EQ(r.Lines.size(), 2u);
  EXPECT_EQ(r.Lines[0], std::string(255, 'a'));
  EXPECT_EQ(r.Lines[1], "next");
  EXPECT_EQ(Load.CutLines, 1);
  o.Text = "";
  r = Drive(o);
  EXPECT_EQ(r.Lines, std::vector<std::string>{""});
}

TEST(StartUp, TooManyLinesStopsWithTheMessage) {
  RunOptions o;
  o.Text = Lines(MaxLines + 10);
  o.Keys = "x";  // answers the message
  RunResult r = Drive(o);
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(r.Lines.back(), "line " + std::to_string(MaxLines));
}

TEST(StartUp, EachMessageOfTheLoadGetsAKeyOfItsOwn) {
  // Too many lines, and one of them cut: both messages are seen, each until
  // a key of its own, and the key that ends the last one is then typed.
  RunOptions o;
  o.Text = "first\n" + std::string(300, 'a') + "\n" + Lines(MaxLines + 10);
  o.Keys = "x";
  RunResult r = Drive(o);
  EXPECT_NE(r.Row(2).find("обрезано: 1"), std::string::npos) << r.Row(2);
  o.Keys = "xy";
  r = Drive(o);
  EXPECT_EQ(r.Lines[0], "yfirst");
}

TEST(StartUp, ShortMemoryReloadsCompactlyOrEndsTheProgram) {
  // 100 lines of 254 blanks do not fit in 120 KiB, lines of 7 do.
  setenv("VESK_HEAP_BUDGET", "120K", 1);
  RunOptions o;
  o.Text = Lines(100);
  RunResult r = Drive(o);
  EXPECT_EQ(Txt.LineWidth, 7);
  EXPECT_EQ(Txt.LineCount, 100);
  EXPECT_EQ(StoredLength(1), 7);
  EXPECT_TRUE(Ed.LineLimitOff);
  EXPECT_EQ(r.Lines[99], "line 100");

  setenv("VESK_HEAP_BUDGET", "99000", 1);  // room for the table and little else
  o.Keys = "xx";
  r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 2);

  setenv("VESK_HEAP_BUDGET", "50000", 1);  // not even the table
  o.Keys = "x";
  r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 2);
  unsetenv("VESK_HEAP_BUDGET");
}

TEST(StartUp, TheStateFileRestoresTheCursorAndIsSafeWithAnyContent) {
  RunOptions o;
  o.Text = Lines(60);
  o.Keys = "<Down><Down><Down><Right><Ins><Esc>";
  RunResult r = Drive(o);
  EXPECT_EQ(r.ExitStatus, 0);
  std::string state = Slurp(r.Dir + "/text.txt.VkIni");
  EXPECT_EQ(state, "1\n4\n2\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n" + std::to_string(Ed.FillCell) + "\n1\n");

  SelectBuild(BuildKoi8);
  ResetAllState();
  ASSERT_TRUE(InitLineStore());
  for (int i = 0; i < 10; ++i) AppendLine("x", 10);
  ApplyStateFileText(state);
  EXPECT_EQ(Ed.CurLine, 4);
  EXPECT_EQ(Ed.CurCol, 2);
  EXPECT_FALSE(Ed.InsertMode);

  // Garbage, negative, huge and missing lines give defaults or clamped values.
  ResetEditorState(DefaultFillCell());
  ApplyStateFileText("abc\n99999\n-5\n7\n11\n-1\n3\n99\n999\n\n\n\n2\n1\n2048\n70000\n");
  EXPECT_EQ(Ed.WindowTop, 1);
  EXPECT_EQ(Ed.CurLine, 10);  // beyond the end: the last line
  EXPECT_EQ(Ed.CurCol, 1);
  EXPECT_EQ(Ed.LineMarks, (std::array<int16_t, 3>{7, 0, 0}));
  EXPECT_EQ(Ed.PositionMarks[0].Line, 0);
  EXPECT_TRUE(Ed.InsertMode);
  EXPECT_TRUE(Kbd.RusLayoutOn);
  EXPECT_TRUE(Ed.LineLimitOff);
  EXPECT_EQ(Ed.ColumnMark, 1);
  ResetEditorState(DefaultFillCell());
  ApplyStateFileText("");
  ApplyStateFileText(std::string(5000, '9'));
  EXPECT_EQ(Ed.CurLine, 1);
  ResetLineStore();
}

// The line-length switch is kept apart from the message row's cell, but the
// state file still carries it as bit 0x0800 of the cell's line.
TEST(StartUp, TheStateFileCarriesTheLengthLimitInTheFillCellLine) {
  SelectBuild(BuildKoi8);
  ResetAllState();
  ASSERT_TRUE(InitLineStore());
  AppendLine("x", 10);
  auto line15 = [](const std::string& text) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < 15; ++i) std::getline(in, line);
    return line;
  };
  const Cell fill = Ed.FillCell;
  EXPECT_EQ(line15(StateFileText()), std::to_string(fill));
  Ed.LineLimitOff = true;
  const std::string state = StateFileText();
  EXPECT_EQ(line15(state), std::to_string(fill | 0x0800));
  ResetEditorState(DefaultFillCell());
  ApplyStateFileText(state);
  EXPECT_TRUE(Ed.LineLimitOff);
  EXPECT_EQ(Ed.FillCell, fill);
  EXPECT_EQ(MessageRowFill(), Cell(fill | 0x0800));  // the row shows it bright
  ResetLineStore();
}

// A state file planted as a symlink or a hard link to another file is not
// written through.
TEST(StartUp, StateFilesAreNeverWrittenThroughALink) {
  for (bool hard : {false, true}) {
    RunOptions o;
    o.Text = "a\n";
    o.Keys = "<Esc>";
    RunResult first = Drive(o);
    std::string victim = first.Dir + "/victim";
    { std::ofstream(victim) << "precious"; }
    fs::remove(first.Dir + "/text.txt.VkIni");
    if (hard) fs::create_hard_link(victim, first.Dir + "/text.txt.VkIni");
    else fs::create_symlink(victim, first.Dir + "/text.txt.VkIni");
    o.Switches = {"-w", "-I" + first.Dir + "/", "-X" + first.Dir + "/"};
    o.PrivateStateDir = false;
    Drive(o);
    EXPECT_EQ(Slurp(victim), "precious") << (hard ? "hard link" : "symlink");
  }
}

TEST(StartUp, NewStateFilesAreOwnerOnly) {
  RunOptions o;
  o.Text = "a\n";
  o.Keys = "<Esc>";
  RunResult r = Drive(o);
  struct stat st;
  ASSERT_EQ(stat((r.Dir + "/text.txt.VkIni").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Exit, AnEmptyFileCountsAsChanged) {
  RunOptions o;
  o.Text = "";
  o.Keys = "<Esc>";
  EXPECT_EQ(Drive(o).ExitStatus, -1) << "the save question waits";
  o.Keys = "<Esc>2";
  EXPECT_EQ(Drive(o).ExitStatus, 3);
}

class ExitTest : public EditorTest {
 protected:
  // Starts on a file and marks the text changed.
  std::string Start() {
    dir = testing::TempDir() + "vesk-exit-" + std::to_string(getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    { std::ofstream(dir + "/f.txt") << "old\n"; }
    StartEditor({"-w", "-I" + dir + "/", "-X" + dir + "/", dir + "/f.txt"});
    StoreLine("new", 1);
    Txt.Modified = true;
    return dir + "/f.txt";
  }
  int ExitWith(std::initializer_list<uint32_t> keys) {
    Keys(keys);
    try {
      ExitEditor();
    } catch (const ProgramExit& e) {
      return e.Status;
    }
    return -1;  // editing goes on
  }
  ~ExitTest() override {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
  std::string dir;
};

TEST_F(ExitTest, EscOrThreeGoesOnEditing) {
  Start();
  EXPECT_EQ(ExitWith({0x011B}), -1);
  EXPECT_EQ(ExitWith({0x0433}), -1);
  EXPECT_EQ(ExitWith({0x0B30}), -1);  // the digit 0 answers like Esc
  EXPECT_TRUE(Txt.Modified);
}

TEST_F(ExitTest, TwoDiscardsWithStatusThree) {
  std::string f = Start();
  EXPECT_EQ(ExitWith({0x0332}), 3);
  EXPECT_EQ(Slurp(f), "old\n");
}

TEST_F(ExitTest, OneSavesWithStatusOne) {
  std::string f = Start();
  EXPECT_EQ(ExitWith({0x0231}), 1);
  EXPECT_EQ(Slurp(f), "new\n");
  EXPECT_TRUE(fs::exists(dir + "/f.txt.VkIni"));
}

TEST_F(ExitTest, EnterTakesTheHighlightedAnswer) {
  Start();
  EXPECT_EQ(ExitWith({0x0200FF25, 0x1C0D}), 3);  // Right, then Enter: answer 2
}

TEST_F(ExitTest, AnUnchangedTextLeavesWithStatusZero) {
  Start();
  Txt.Modified = false;
  EXPECT_EQ(ExitWith({}), 0);
}

TEST_F(ExitTest, AFailedSaveKeepsTheEditorRunning) {
  std::string f = Start();
  // A directory in the file's place cannot be replaced by a save.
  fs::remove(f);
  fs::create_directories(f);
  // The failure is shown (a answers it), another name is asked: Esc.
  EXPECT_EQ(ExitWith({0x0231, 0x1E61, 0x011B}), -1);
  EXPECT_TRUE(Txt.Modified);
}

TEST(Emergency, CopiesAreCreatedBesideTheFileAndNeverOverwrite) {
  RunOptions o;
  o.CreateFile = false;
  o.Keys = "x";
  RunResult r = Drive(o);
  Txt.Modified = true;
  std::string first = EmergencySave();
  EXPECT_EQ(first, r.Path + ".save");
  std::string second = EmergencySave();
  EXPECT_EQ(second, r.Path + ".save.1");
  struct stat st;
  ASSERT_EQ(stat(first.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Slurp(first), "x\n");
  fs::remove(second);
  fs::create_symlink(r.Dir + "/elsewhere", second);  // a planted link is not followed
  EXPECT_EQ(EmergencySave(), r.Path + ".save.2");
  EXPECT_FALSE(fs::exists(r.Dir + "/elsewhere"));
  Txt.Modified = false;
  EXPECT_EQ(EmergencySave(), "");
  ResetLineStore();
}

// A file whose folder is gone and no home directory: the copy goes into
// $TMPDIR, and without one that takes it into /tmp, under the file's name.
TEST(Emergency, CopiesFallBackToTheTemporaryDirectoriesInTurn) {
  RunOptions o;
  o.Keys = "x";
  RunResult r = Drive(o);
  Txt.Modified = true;
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  const char* tmp = std::getenv("TMPDIR");
  std::string oldTmp = tmp ? tmp : "";
  Ed.FileName = r.Dir + "/gone/f.txt";
  Ed.BaseName = "vesk-emergency-test-" + std::to_string(getpid()) + ".txt";
  setenv("HOME", (r.Dir + "/no-home").c_str(), 1);
  fs::create_directories(r.Dir + "/tmp");
  setenv("TMPDIR", (r.Dir + "/tmp").c_str(), 1);
  std::string inTmpdir = EmergencySave();
  setenv("TMPDIR", (r.Dir + "/no-tmp").c_str(), 1);
  std::string inTmp = EmergencySave();
  setenv("HOME", home.c_str(), 1);
  if (tmp) setenv("TMPDIR", oldTmp.c_str(), 1);
  else unsetenv("TMPDIR");
  EXPECT_EQ(inTmpdir, r.Dir + "/tmp/" + Ed.BaseName + ".save");
  EXPECT_EQ(Slurp(inTmpdir), "x\n");
  EXPECT_EQ(inTmp.rfind("/tmp/" + Ed.BaseName + ".save", 0), 0u) << inTmp;
  struct stat st;
  ASSERT_EQ(lstat(inTmp.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Slurp(inTmp), "x\n");
  if (inTmp.rfind("/tmp/vesk-emergency-test-", 0) == 0) fs::remove(inTmp);
  ResetLineStore();
}
