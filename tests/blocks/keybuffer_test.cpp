// The keystroke buffer (Shift+F9 records, F9 plays back, the file
// "kbdbufer.vsk") and key definitions (Alt keys, the file "keydef.vsk", the
// exit question).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "blocks/keybuffer.h"
#include "blocks/keydefs.h"
#include "builds/bindings.h"
#include "core/commands.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/heap.h"

namespace fs = std::filesystem;

namespace {


RunResult Edit(const std::string& keys, const std::string& text = "\n", std::vector<std::string> switches = {"-w"}) {
  RunOptions o;
  o.Text = text;
  o.Keys = keys;
  o.Switches = std::move(switches);
  return Drive(o);
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

constexpr uint32_t LetterA = 0x00001E61, LetterB = 0x00003062;
constexpr uint8_t IdD = 0x20;  // Alt+d: its scan code

}  // namespace

// ---- Recording and playback ----

TEST(KeyBuffer, RecordingKeepsTheKeysAndTheStopKeyAsEndMarker) {
  ScratchDir here;
  RunResult r = Edit("<S-F9>ab<S-F9><F9>");
  EXPECT_EQ(r.Lines[0], "abab");
  EXPECT_EQ(KeyBuf.KeyBuffer[0], LetterA);
  EXPECT_EQ(KeyBuf.KeyBuffer[1], LetterB);
  EXPECT_EQ(KeyBuf.KeyBuffer[2], 0x00080000u);  // Shift+F9 without Char and Scan
  EXPECT_EQ(KeyBuf.RecordCount, 0);
  EXPECT_EQ(KeyBuf.PlayCount, 0);
}

TEST(KeyBuffer, RecordingStartShowsHowToStop) {
  ScratchDir here;
  RunResult r = Edit("<S-F9>");
  EXPECT_TRUE(Contains(r.Row(2), "В конце набора команд снова нажмите Shift+F9.")) << r.Row(2);
  EXPECT_EQ(KeyBuf.RecordCount, 1);
}

TEST(KeyBuffer, FortyKeysEndTheRecordingOnTheThirtySecondWhichIsNotRun) {
  ScratchDir here;
  const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  ASSERT_EQ(letters.size(), 40u);
  RunResult r = Edit("<S-F9>" + letters + "<F9>");
  const std::string first31 = letters.substr(0, 31);
  EXPECT_EQ(r.Lines[0], first31 + letters.substr(32) + first31);
  EXPECT_EQ(KeyBuf.RecordCount, 0);
  EXPECT_TRUE(IsEndMarker(KeyBuf.KeyBuffer[31]));
}

TEST(KeyBuffer, KeysThatPromptsReadDuringPlaybackComeFromTheKeyboard) {
  ScratchDir here;
  std::string text;
  for (int i = 1; i <= 10; ++i) text += "line " + std::to_string(i) + "\n";
  // F4 (go to line) is recorded, its answer "3" is not; played back, F4
  // asks again and takes "5" from the keyboard.
  RunResult r = Edit("<S-F9><F4>3<Enter><S-F9><F9>5<Enter>", text);
  EXPECT_EQ(KeyBuf.KeyBuffer[0], 0x0200FF04u);
  EXPECT_TRUE(IsEndMarker(KeyBuf.KeyBuffer[1]));
  EXPECT_EQ(r.CurLine, 5);
}

TEST(KeyBuffer, PlaybackInLiteralModeTypesTheCharacterOfF9) {
  ScratchDir here;
  RunResult r = Edit("<S-F9>a<S-F9><C-q><F9>");
  EXPECT_EQ(r.Lines[0], "a\x09");
  EXPECT_EQ(KeyBuf.PlayCount, 0);
}

class KeyBufferLoop : public EditorTest {};

TEST_F(KeyBufferLoop, PlaybackDoesNotDrawUntilItEnds) {
  MakeText(3);
  KeyBuf.KeyBuffer[0] = KeyCode('x', 0x2D);
  KeyBuf.KeyBuffer[1] = KeyCode('y', 0x15);
  Keys({CodeOf(Build, Cmd::PlayBack), 0x0200FF27});  // F9, then Down
  MainLoopTurn();                                    // draws, then reads F9
  ASSERT_TRUE(PlaybackRunning());
  const std::vector<Cell> before = Scr.ScreenCells;
  MainLoopTurn();  // x
  MainLoopTurn();  // y
  MainLoopTurn();  // the end marker: playback ends, nothing runs
  EXPECT_FALSE(PlaybackRunning());
  EXPECT_EQ(LineString(1).substr(0, 8), "xyline 1");
  EXPECT_TRUE(Scr.ScreenCells == before) << "the screen changed during playback";
  EXPECT_EQ(Loop.LastCommand, LoopState::Nothing);
  MainLoopTurn();  // draws again, then reads Down
  EXPECT_EQ(CellChar(CellAt(1, 3)), 'x');
  EXPECT_EQ(Ed.CurLine, 2);
}

TEST_F(KeyBufferLoop, APlayedF9DoesNotStartThePlaybackAgain) {
  // Otherwise a buffer holding F9 would replay itself for ever without
  // reading the keyboard.
  MakeText(1);
  KeyBuf.KeyBuffer[0] = KeyCode('a', 0x1E);
  KeyBuf.KeyBuffer[1] = CodeOf(Build, Cmd::PlayBack);
  KeyBuf.PlayCount = 1;
  for (int i = 0; i < 3; ++i) MainLoopTurn();
  EXPECT_FALSE(PlaybackRunning());
  EXPECT_EQ(LineString(1).substr(0, 7), "aline 1");
}

TEST_F(KeyBufferLoop, AnF9InTheLastSlotDoesNotStartThePlaybackAgain) {
  // Slot 32 is played after the playback has ended; the F9 there is a
  // played key all the same and starts nothing.
  MakeText(1);
  for (uint32_t& slot : KeyBuf.KeyBuffer) slot = KeyCode('z', 0x2C);
  KeyBuf.KeyBuffer[31] = CodeOf(Build, Cmd::PlayBack);
  KeyBuf.PlayCount = 1;
  for (int i = 0; i < 32; ++i) MainLoopTurn();
  EXPECT_FALSE(PlaybackRunning());
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 31 + 6);
  // A pressed F9 still plays it.
  Keys({CodeOf(Build, Cmd::PlayBack)});
  MainLoopTurn();
  EXPECT_TRUE(PlaybackRunning());
}

TEST_F(KeyBufferLoop, AClosingSignalEndsThePlaybackBetweenTwoKeys) {
  MakeText(1);
  KeyBuf.KeyBuffer[0] = KeyCode('a', 0x1E);
  KeyBuf.KeyBuffer[1] = KeyCode('b', 0x30);
  KeyBuf.PlayCount = 1;
  MainLoopTurn();
  ClosingSignal = SIGTERM;
  EXPECT_THROW(MainLoopTurn(), InputLost);
  EXPECT_EQ(LineString(1).substr(0, 7), "aline 1");
}

TEST(KeyBufferFile, ASignalThatComesWithF9EndsTheEditorBeforeTheFirstPlayedKey) {
  ScratchDir here;
  std::string content(128, '\0');
  content.replace(0, 4, "\x61\x1E\0\0", 4);
  content.replace(4, 4, "\x62\x30\0\0", 4);
  Put("kbdbufer.vsk", content);
  RunOptions o;
  o.Text = "\n";
  o.Switches = {"-w", "-K"};
  o.ExtraInput = {{CodeOf(BuildKoi8, Cmd::PlayBack), {}, SIGTERM}};
  RunResult r = Drive(o);
  EXPECT_EQ(r.Signal, SIGTERM);
  EXPECT_EQ(r.Lines[0], "");
}

TEST_F(KeyBufferLoop, PlaybackEndsAfterSlot32) {
  MakeText(1);
  for (uint32_t& slot : KeyBuf.KeyBuffer) slot = KeyCode('z', 0x2C);
  KeyBuf.PlayCount = 1;
  for (int i = 0; i < 32; ++i) MainLoopTurn();
  EXPECT_FALSE(PlaybackRunning());
  EXPECT_EQ(TrimmedLength(LineBytes(1)), 32 + 6);  // "line 1" after 32 z
}

// ---- kbdbufer.vsk ----

TEST(KeyBufferFile, WrittenAs32RawCodesAndLoadedWithSwitchK) {
  ScratchDir here;
  Edit("<S-F9>ab<S-F9><A-F9><Enter>");
  std::string expected(128, '\0');
  expected.replace(0, 4, "\x61\x1E\0\0", 4);
  expected.replace(4, 4, "\x62\x30\0\0", 4);
  expected.replace(8, 4, "\0\0\x08\0", 4);
  EXPECT_EQ(Slurp("kbdbufer.vsk"), expected);

  EXPECT_EQ(Edit("<F9>", "\n", {"-w", "-k"}).Lines[0], "ab");
  EXPECT_EQ(Edit("<F9>").Lines[0], "");  // without -K nothing is loaded
}

TEST(KeyBufferFile, CtrlF9ReadsTheFileAndOffersTheFoundOneAfterEsc) {
  ScratchDir here;
  std::string content(128, '\0');
  content.replace(0, 4, "\x61\x1E\0\0", 4);
  Put("kbdbufer.vsk", content);
  EXPECT_EQ(Edit("<C-F9><Enter><F9>").Lines[0], "a");
  EXPECT_EQ(Edit("<C-F9><Esc><Enter><F9>").Lines[0], "a");
  EXPECT_EQ(Edit("<C-F9><Esc><Esc><F9>").Lines[0], "");
}

TEST(KeyBufferFile, ShortFileIsPaddedWith26AndLongFileReadTo128Bytes) {
  ScratchDir here;
  Put("kbdbufer.vsk", std::string("\x78\x2D\0\0\x79", 5));
  RunResult r = Edit("<F9>q", "\n", {"-w", "-K"});
  EXPECT_EQ(KeyBuf.KeyBuffer[0], KeyCode('x', 0x2D));
  EXPECT_EQ(KeyBuf.KeyBuffer[1], 0x1A1A1A79u);
  EXPECT_EQ(KeyBuf.KeyBuffer[31], 0x1A1A1A1Au);
  // The padded codes run nothing; playback ends after slot 32.
  EXPECT_EQ(r.Lines[0], "xq");

  std::string longer(200, '\x01');
  Put("kbdbufer.vsk", longer);
  Edit("", "\n", {"-w", "-K"});
  for (uint32_t slot : KeyBuf.KeyBuffer) EXPECT_EQ(slot, 0x01010101u);
}

TEST(KeyBufferFile, APlantedFileIsNotLoadedAndTheUserIsTold) {
  // Another user's buffer, or one that every user may write, in the current
  // directory is not played: the first key answers the message (and is
  // typed), F9 then plays nothing.
  ScratchDir here;
  std::string content(128, '\0');
  content.replace(0, 4, "\x61\x1E\0\0", 4);
  Put("kbdbufer.vsk", content);
  ASSERT_EQ(chmod("kbdbufer.vsk", 0646), 0);
  RunResult r = Edit("", "\n", {"-w", "-K"});
  EXPECT_TRUE(Contains(r.Row(2), "Файл kbdbufer.vsk чужой или доступен всем на запись, не используется")) << r.Row(2);
  EXPECT_EQ(Edit("x<F9>", "\n", {"-w", "-K"}).Lines[0], "x");
  ASSERT_EQ(chmod("kbdbufer.vsk", 0644), 0);
  EXPECT_EQ(Edit("x<F9>", "\n", {"-w", "-K"}).Lines[0], "xa");

  if (geteuid() != 0) GTEST_SKIP() << "a file of another user needs root to make (chown)";
  ASSERT_EQ(chown("kbdbufer.vsk", 65534, 65534), 0);
  EXPECT_EQ(Edit("x<F9>", "\n", {"-w", "-K"}).Lines[0], "x");
}

TEST(KeyBufferFile, MissingOrOddFileChangesNothing) {
  ScratchDir here;
  EXPECT_EQ(Edit("<F9>a", "\n", {"-w", "-K"}).Lines[0], "a");
  fs::create_directory("kbdbufer.vsk");
  EXPECT_EQ(Edit("<F9>a", "\n", {"-w", "-K"}).Lines[0], "a");
  for (uint32_t slot : KeyBuf.KeyBuffer) EXPECT_EQ(slot, 0u);
}

// ---- Key definitions ----

TEST(KeyDefinitions, AnAltKeyAsksForItsTextOnceThenTypesIt) {
  ScratchDir here;
  RunResult asked = Edit("<A-d>");
  EXPECT_TRUE(Contains(asked.Row(2), "Слово для макроса:")) << asked.Row(2);

  RunResult r = Edit("<A-d>hello<Enter><A-d><A-d>");
  EXPECT_EQ(r.Lines[0], "hellohello");
  EXPECT_EQ(Defs.KeyDefs[IdD], "hello");
  EXPECT_TRUE(Defs.KeyDefsChanged);
  EXPECT_EQ(Loop.LastCommand, LoopState::KeyDefinition);
}

TEST(KeyDefinitions, EscOrAnEmptyAnswerDefinesNothing) {
  ScratchDir here;
  Edit("<A-d>ab<Esc><A-d><Enter>");
  EXPECT_FALSE(Defs.Defined[IdD]);
  EXPECT_FALSE(Defs.KeyDefsChanged);
}

TEST(KeyDefinitions, FunctionKeysWithAltUseTheirNumber) {
  ScratchDir here;
  Edit("<A-F3>three<Enter>");
  EXPECT_EQ(Defs.KeyDefs[3], "three");
}

TEST(KeyDefinitions, EscAltRedefinesAnExistingDefinition) {
  ScratchDir here;
  Put("keydef.vsk", "32 old\n");
  RunResult r = Edit("<A-d><EscAlt-d><C-k>new<Enter><A-d>");
  EXPECT_EQ(r.Lines[0], "oldnew");
  EXPECT_TRUE(Defs.KeyDefsChanged);
}

TEST(KeyDefinitions, SwitchedOffAltKeysDoNothingButEscAltStillDefines) {
  ScratchDir here;
  RunResult r = Edit("<F10>314<Esc><Esc><Esc><A-d>z");
  EXPECT_FALSE(Loop.KeyDefinitionsOn);
  EXPECT_EQ(r.Lines[0], "z");  // no prompt took the z
  Edit("<F10>314<Esc><Esc><Esc><EscAlt-d>w<Enter>");
  EXPECT_EQ(Defs.KeyDefs[IdD], "w");
}

TEST(KeyDefinitions, RussianLayoutKeepsSeparateDefinitions) {
  ScratchDir here;
  RunResult r = Edit("<A-d>12<Enter><F10>8<A-d>34<Enter><A-d><F10>8<A-d>");
  EXPECT_EQ(Defs.KeyDefs[IdD], "12");
  EXPECT_EQ(Defs.KeyDefs[IdD + 0x80], "34");
  EXPECT_EQ(r.Lines[0], "3412");
}

TEST(KeyDefinitions, MenuItemReadsTheKeyInEitherLayout) {
  ScratchDir here;
  Put("keydef.vsk", "32 lat\n160 rus\n");
  RunResult r = Edit("<F10>312d<F10>8<F10>311d");
  EXPECT_EQ(r.Lines[0], "latrus");
  // Switched off, the menu items still run definitions.
  EXPECT_EQ(Edit("<F10>314<Esc><Esc><Esc><F10>312d").Lines[0], "lat");
}

TEST(KeyDefinitions, DefinitionsAreTypedAsTypedKeysAre) {
  ScratchDir here;
  Put("keydef.vsk", "32 XY\n25 one two three four five\n");
  // Overwrite mode overwrites.
  EXPECT_EQ(Edit("<Ins><A-d>", "abcdef\n").Lines[0], "XYcdef");
  // Line breaking at the format width of a ".12" file works alike.
  RunOptions typed;
  typed.FileName = "w.12";
  typed.Text = "\n";
  typed.Keys = "one two three four five";
  RunOptions defined = typed;
  defined.Keys = "<A-p>";
  const RunResult a = Drive(typed);
  const RunResult b = Drive(defined);
  EXPECT_GT(a.Lines.size(), 1u);
  EXPECT_EQ(b.Lines, a.Lines);
}

class KeyDefinitionsHeap : public EditorTest {};

TEST_F(KeyDefinitionsHeap, ATextTheHeapCannotHoldIsRefused) {
  MakeText(1);
  Heap.Budget = Heap.Used + 3;
  // Ctrl+K clears the offered word; the key after the message is left for
  // the next prompt.
  for (auto& k : KeysFor(Build, "<C-k>abc<Enter><C-k>")) Terminal.Script.push_back(k);
  RunOrDefineKey(IdD);
  EXPECT_FALSE(Defs.Defined[IdD]);
  EXPECT_FALSE(Defs.KeyDefsChanged);
  for (auto& k : KeysFor(Build, "ab<Enter>")) Terminal.Script.push_back(k);
  RunOrDefineKey(IdD);
  EXPECT_EQ(Defs.KeyDefs[IdD], "ab");
  EXPECT_EQ(LargestFreeBlock(), 0u);
}

TEST_F(KeyDefinitionsHeap, AFullHeapStopsReadingTheFile) {
  ScratchDir here;
  MakeText(1);
  Put("keydef.vsk", "1 aaaa\n2 b\n");
  Heap.Budget = Heap.Used + 3;
  KeyDefFileIO(DataFileAction::LoadAtStart);
  EXPECT_FALSE(Defs.Defined[1]);
  EXPECT_FALSE(Defs.Defined[2]);
}

// ---- keydef.vsk ----

TEST(KeyDefFile, WrittenInIdentifierOrderAndReadBack) {
  ScratchDir here;
  RunResult w = Edit("<A-d>dd<Enter><A-p>pp<Enter><A-F3>ff<Enter><F10>316<Enter><Esc>");
  EXPECT_EQ(w.ExitStatus, 0);  // written: no question at exit
  EXPECT_EQ(Slurp("keydef.vsk"), "3 ff\n25 pp\n32 dd\n");

  RunResult r = Edit("<A-F3><A-p><A-d>");
  EXPECT_EQ(r.Lines[0], "ffppdd");
  EXPECT_FALSE(Defs.KeyDefsChanged);
}

TEST(KeyDefFile, RereadingKeepsDefinitionsTheFileDoesNotMention) {
  ScratchDir here;
  Put("keydef.vsk", "32 file\n");
  RunResult r = Edit("<A-y>yy<Enter><EscAlt-d><C-k>mine<Enter><F10>315<Enter><Down><A-y><A-d>");
  EXPECT_EQ(r.Lines[0], "yyfile");
}

class KeyDefFileContent : public EditorTest {};

TEST_F(KeyDefFileContent, AnyContentIsReadSafely) {
  ScratchDir here;
  MakeText(1);
  std::string file;
  file += "65 two words\n";
  file += "abc def\n";           // not a number
  file += "\n";                  // empty
  file += " 7 leading blank\n";  // nothing before the first blank
  file += "300 wraps\n";         // the low byte: 44
  file += "99999999999 big\n";   // too large to be a number
  file += "66\n";                // no blank
  file += "67 \n";               // an empty text
  file += "68 dos\r\n";
  file += "69 " + std::string(300, 'x') + "\n";  // read up to 255 bytes
  file += std::string("\0\xff\x01 binary\n", 11);
  file += "0 zero\n";
  file += "70 last";  // no line end
  Put("keydef.vsk", file);
  KeyDefFileIO(DataFileAction::LoadAtStart);

  EXPECT_EQ(Defs.KeyDefs[65], "two words");
  EXPECT_EQ(Defs.KeyDefs[44], "wraps");
  EXPECT_TRUE(Defs.Defined[67]);
  EXPECT_EQ(Defs.KeyDefs[67], "");
  EXPECT_EQ(Defs.KeyDefs[68], "dos");
  EXPECT_EQ(Defs.KeyDefs[69], std::string(252, 'x'));
  EXPECT_EQ(Defs.KeyDefs[70], "last");
  EXPECT_EQ(Defs.Defined.count(), 7u);  // with identifier 0
  EXPECT_FALSE(Defs.KeyDefsChanged);

  // Identifier 0 is never written.
  for (auto& k : KeysFor(Build, "<Enter>")) Terminal.Script.push_back(k);
  KeyDefFileIO(DataFileAction::Write);
  EXPECT_EQ(Slurp("keydef.vsk"),
            "44 wraps\n65 two words\n67 \n68 dos\n69 " + std::string(252, 'x') + "\n70 last\n");
}

TEST_F(KeyDefFileContent, AMissingOrOddFileIsIgnored) {
  ScratchDir here;
  MakeText(1);
  KeyDefFileIO(DataFileAction::LoadAtStart);
  fs::create_directory("keydef.vsk");
  KeyDefFileIO(DataFileAction::LoadAtStart);
  EXPECT_EQ(Defs.Defined.count(), 0u);
}

// ---- The exit question ----

TEST(MacroExit, ChangedDefinitionsAreOfferedForSaving) {
  ScratchDir here;
  RunResult asked = Edit("<A-d>hi<Enter><Esc>");
  EXPECT_TRUE(Contains(asked.Row(1), "Макросы записать ?")) << asked.Row(1);

  RunResult no = Edit("<A-d>hi<Enter><Esc>2");
  EXPECT_EQ(no.ExitStatus, 0);
  EXPECT_FALSE(fs::exists("keydef.vsk"));

  RunResult yes = Edit("<A-d>hi<Enter><Esc>1<Enter>");
  EXPECT_EQ(yes.ExitStatus, 0);
  EXPECT_EQ(Slurp("keydef.vsk"), "32 hi\n");
}

TEST(MacroExit, TheSaveQuestionComesFirst) {
  ScratchDir here;
  RunResult r = Edit("<A-d>hi<Enter><A-d><Esc>21<Enter>");
  EXPECT_EQ(r.ExitStatus, 3);  // the text's changes dropped, the macros written
  EXPECT_EQ(Slurp("keydef.vsk"), "32 hi\n");
}

TEST(MacroExit, UnchangedDefinitionsAskNothing) {
  ScratchDir here;
  Put("keydef.vsk", "32 loaded\n");
  EXPECT_EQ(Edit("<Esc>").ExitStatus, 0);
}
