// Taking a file into the text (Shift+F1) and taking it back (Ctrl+F1).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "blocks/block_support.h"
#include "blocks/insertfile.h"
#include "base/state.h"
#include "support/driver.h"
#include "support/scratch.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"

namespace fs = std::filesystem;

namespace {


std::string Numbered(int first, int last) {
  std::string s;
  for (int i = first; i <= last; ++i) s += "line " + std::to_string(i) + "\n";
  return s;
}

RunResult Edit(const std::string& text, const std::string& keys, std::vector<std::string> switches = {"-w"},
               const BuildConfig& build = BuildKoi8) {
  RunOptions o;
  o.Build = &build;
  o.Text = text;
  o.Keys = keys;
  o.Switches = std::move(switches);
  return Drive(o);
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

// A directory is not a file to take.  (Taking, taking back, and names asked
// for again: cases take-file-* in tests/cases.)
TEST(TakeFile, ADirectoryIsNotTaken) {
  ScratchDir here;
  fs::create_directory("dir");
  RunResult r = Edit("a\n", "<S-F1>dir\n");
  EXPECT_TRUE(Contains(r.Row(2), "Файл не найден: dir")) << r.Row(2);
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a"}));
}

// ---- What the lines look like ----

TEST(TakeFile, LinesArePaddedToTheLineWidthLikeLoadedLines) {
  ScratchDir here;
  Put("ins.txt", "short\n" + std::string(100, 'w') + "\n");
  RunOptions o;
  o.Text = "a\n";
  o.FileName = "notes.80";
  o.Keys = "<S-F1>ins.txt\n";
  RunResult r = Drive(o);
  ASSERT_EQ(Txt.LineCount, 3);
  EXPECT_EQ(StoredLength(2), 80);
  EXPECT_EQ(StoredLength(3), 100);
  r = Edit("a\n", "<S-F1>ins.txt\n");
  EXPECT_EQ(StoredLength(2), 254);
}

TEST(TakeFile, AnyBytesAndLineEndsAreTakenAsLoadingTakesThem) {
  ScratchDir here;
  Put("ins.txt", std::string("crlf\r\ncr\rlf\nx\0y\x01\n", 17) + std::string(255, 'L') + "    \nlast");
  RunResult r = Edit("a\n", "<S-F1>ins.txt\n");
  // Blanks past 255 bytes go; nothing else does.
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a", "crlf", "cr", "lf", std::string("x\0y\x01", 4),
                                                std::string(255, 'L'), "last"}));
  r = Edit("a\n", "<S-F1>ins.txt\n<C-F1>");
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a"}));
}

TEST(TakeFile, AFileWithALineLongerThanALineIsNotTaken) {
  ScratchDir here;
  Put("ins.txt", "first\n" + std::string(300, 'L') + "\nlast\n");
  RunResult r = Edit("a\nb\n", "<Down><S-F1>ins.txt\n");
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Contains(r.Row(2), "Команда не выполнена: строка стала бы длиннее 255 символов.")) << r.Row(2);
}

TEST(TakeFile, BinaryGarbageIsTakenSafely) {
  ScratchDir here;
  std::string junk;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1103515245u + 12345u;
    junk += char(x >> 16);
  }
  // A line end at least every 200 bytes: a longer line of random bytes
  // could not be taken without cutting it, and the file would not be taken.
  for (size_t i = 200; i < junk.size(); i += 200) junk[i] = '\n';
  Put("junk.bin", junk);
  RunResult r = Edit("a\nb\n", "<S-F1>junk.bin\n", {"-w", "-P"});
  EXPECT_GT(Txt.LineCount, 100);
  EXPECT_EQ(r.Lines.front(), "a");
  EXPECT_EQ(r.Lines.back(), "b");
  r = Edit("a\nb\n", "<S-F1>junk.bin\n<C-F1><C-F1>", {"-w", "-P"});
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a", "b"}));
}

// ---- Code pages ----

TEST(TakeFile, AFileInAForeignCodePageIsRecodedAloneOnRequest) {
  ScratchDir here;
  const std::string russian = "Съешь же ещё этих мягких французских булок, да выпей чаю";
  Put("dos.txt", ToSet(Charset::Cp866, russian) + "\n");
  // The KOI8-R build asks about the taken lines only: the text keeps its
  // own set and is written back in it.
  RunResult r = Edit("Привет\n", "<S-F1>dos.txt\n");
  EXPECT_TRUE(Contains(r.Row(1), "recode FROM") && Contains(r.Row(1), "1 - ASCII")) << r.Row(1);
  r = Edit("Привет\n", "<S-F1>dos.txt\n1");
  EXPECT_EQ(r.Lines, (std::vector<std::string>{ToSet(Charset::Koi8, "Привет"), ToSet(Charset::Koi8, russian)}));
  EXPECT_TRUE(DiskIs(Charset::Koi8));
  EXPECT_FALSE(DiskIs(Charset::Cp866));
  // Declined, or with -P, the bytes stay as they came.
  r = Edit("Привет\n", "<S-F1>dos.txt\n3");
  EXPECT_EQ(r.Lines[1], ToSet(Charset::Cp866, russian));
  r = Edit("Привет\n", "<S-F1>dos.txt\n", {"-w", "-P"});
  EXPECT_EQ(r.Lines[1], ToSet(Charset::Cp866, russian));
  EXPECT_FALSE(Contains(r.Row(1), "recode")) << r.Row(1);
}

TEST(TakeFile, TheCodePage866BuildTakesKoi8AndWindowsFiles) {
  ScratchDir here;
  const std::string russian = "Съешь же ещё этих мягких французских булок, да выпей чаю";
  Put("koi.txt", ToSet(Charset::Koi8, russian) + "\n");
  Put("win.txt", ToSet(Charset::Cp1251, russian) + "\n");
  RunResult r = Edit("x\n", "<S-F1>koi.txt\n1", {"-w"}, Build866);
  EXPECT_EQ(r.Lines[1], ToSet(Charset::Cp866, russian));
  r = Edit("x\n", "<S-F1>win.txt\n2", {"-w"}, Build866);
  EXPECT_EQ(r.Lines[1], ToSet(Charset::Cp866, russian));
  EXPECT_TRUE(DiskIs(Charset::Cp866));
}

// ---- Limits ----

TEST(TakeFile, TheLineLimitStopsTheTakingAndCtrlF1TakesBackWhatCame) {
  ScratchDir here;
  Put("big.txt", Numbered(1, 30000));
  RunResult r = Edit("a\nb\nc\n", "<S-F1>big.txt\n");
  EXPECT_TRUE(Contains(r.Row(2), "СЛИШКОМ МНОГО СТРОК!")) << r.Row(2);
  // F10 leaves the range for Ctrl+F1.
  r = Edit("a\nb\nc\n", "<S-F1>big.txt\n<F10>");
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Insert.InsertedLast, MaxLines - 2);
  EXPECT_EQ(LineString(MaxLines - 2).substr(0, 10), "line 24572");
  EXPECT_EQ(LineString(MaxLines - 1).substr(0, 2), "b ");
  r = Edit("a\nb\nc\n", "<S-F1>big.txt\n<C-F1>");
  EXPECT_EQ(r.Lines, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(TakeFile, AFullTextTakesNothing) {
  ScratchDir here;
  Put("ins.txt", Numbered(1, 3));
  RunResult r = Edit(Numbered(1, MaxLines), "<S-F1>ins.txt\n");
  EXPECT_TRUE(Contains(r.Row(2), "СЛИШКОМ МНОГО СТРОК!")) << r.Row(2);
  r = Edit(Numbered(1, MaxLines), "<S-F1>ins.txt\n<F10>");
  EXPECT_EQ(Txt.LineCount, MaxLines);
  EXPECT_EQ(Insert.InsertedLast, 1);
  EXPECT_EQ(LineString(2).substr(0, 7), "line 2 ");
}

class TakeFileHeap : public blocktest::BlockBase {
 protected:
  ScratchDir Here;
};

TEST_F(TakeFileHeap, AFullHeapStopsTheTakingAndKeepsWhatCame) {
  Put("ins.txt", Numbered(1, 10));
  Text({"a", "b"});
  Heap.Budget = Heap.Used + 3 * (size_t(Txt.LineWidth) + 1) + 10;
  Keys({blocktest::Esc});  // for the message
  const int fd = open("ins.txt", O_RDONLY);
  ASSERT_GE(fd, 0);
  int cut = 0;
  bool readError = false;
  EXPECT_EQ(InsertLinesFrom(fd, 1, cut, readError), 4);
  close(fd);
  EXPECT_EQ(All(), (std::vector<std::string>{"a", "line 1", "line 2", "line 3", "b"}));
  const std::vector<std::string> waited = Waited();
  ASSERT_FALSE(waited.empty());
  EXPECT_TRUE(Contains(waited.back(), B("НЕ ХВАТАЕТ ПАМЯТИ!"))) << waited.back();
}
