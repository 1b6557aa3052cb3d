#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/state.h"
#include "screen/cells.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/loadsave.h"
#include "text/messages.h"
#include "text/savefile.h"

namespace fs = std::filesystem;

class SaveTest : public EditorTest {
 protected:
  SaveTest() {
    dir = testing::TempDir() + "vesk-save-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fs::remove_all(dir);
    fs::create_directories(dir);
    MakeText(0);
  }
  ~SaveTest() override { fs::remove_all(dir); }
  void Text(std::initializer_list<std::string> lines) {
    FreeAllLines();
    for (const std::string& l : lines) AppendLine(l, Txt.LineWidth);
    Txt.Modified = true;
  }
  std::string dir;
  static inline int counter = 0;
};

TEST_F(SaveTest, LinesLoseTrailingBlanksAndNulsAndEndInLf) {
  Text({"abc   ", "", "   ", std::string("x\0\0", 3), std::string("a\0b", 3)});
  Ed.FileName = dir + "/f.txt";
  SaveFile();
  EXPECT_FALSE(Txt.Modified);
  EXPECT_EQ(Slurp(Ed.FileName), std::string("abc\n\n\nx\na\0b\n", 12));
}

TEST_F(SaveTest, AnUnchangedTextIsNotWrittenButItsVariantsAre) {
  Text({"one\x01two\tend"});
  Ed.FileName = dir + "/a{b}.txt";
  Put(Ed.FileName, "on disk\n");
  Txt.Modified = false;
  SaveFile();
  EXPECT_EQ(Slurp(Ed.FileName), "on disk\n");
  EXPECT_EQ(Slurp(dir + "/ab}.txt"), "one two end\n");   // "{": control bytes blanked
  EXPECT_EQ(Slurp(dir + "/a{b.txt"), "one#1two#9end\n");  // "}": spelled out
}

TEST_F(SaveTest, SpelledOutLinesAreCutAt255Bytes) {
  Text({std::string(200, '\x01')});
  Ed.FileName = dir + "/x}.txt";
  SaveFile();
  EXPECT_EQ(Slurp(dir + "/x.txt").size(), 256u);
}

TEST_F(SaveTest, PermissionsSymlinksAndHardLinksSurvive) {
  Text({"new"});
  std::string target = dir + "/real.txt";
  Put(target, "old\n");
  chmod(target.c_str(), 0640);
  fs::create_symlink("real.txt", dir + "/link.txt");
  fs::create_hard_link(target, dir + "/hard.txt");
  Ed.FileName = dir + "/link.txt";
  SaveFile();
  EXPECT_TRUE(fs::is_symlink(dir + "/link.txt"));
  EXPECT_EQ(Slurp(target), "new\n");
  EXPECT_EQ(Slurp(dir + "/hard.txt"), "new\n");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(st.st_nlink, 2u);
  for (const auto& e : fs::directory_iterator(dir))  // no copy left behind
    EXPECT_EQ(e.path().filename().string().find(".vesk"), std::string::npos) << e.path();
}

TEST_F(SaveTest, AFullDiskLeavesTheOriginalUntouched) {
  std::string big(100000, 'x');
  Text({big.substr(0, 200)});
  for (int i = 0; i < 400; ++i) AppendLine(std::string(200, 'y'), 254);
  Ed.FileName = dir + "/keep.txt";
  Put(Ed.FileName, "precious\n");
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Keys({0x1C0D, 0x011B});  // the failure message, then Esc at the name prompt
  const Outcome outcome = SaveFile();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(Slurp(Ed.FileName), "precious\n");
  EXPECT_TRUE(Txt.Modified);
  EXPECT_EQ(outcome, Outcome::Cancelled);
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().find(".vesk"), std::string::npos) << e.path();
}

TEST_F(SaveTest, AnUnwritableDirectoryAsksForAnotherName) {
  Text({"text"});
  fs::create_directories(dir + "/ro");
  Ed.FileName = dir + "/ro/f.txt";
  Put(Ed.FileName, "old\n");
  fs::permissions(dir + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
  if (access((dir + "/ro").c_str(), W_OK) == 0) {
    fs::permissions(dir + "/ro", fs::perms::owner_all);
    GTEST_SKIP() << "this user writes into read-only directories";
  }
  std::string other = dir + "/other.txt";
  Terminal.Script.push_back({0x1C0D, {}});  // the failure message
  Terminal.Script.push_back({0x0200FF25, {}});  // Right: keep the offered name...
  Terminal.Script.push_back({0x250B, {}});      // ...no: clear it with Ctrl+K from column 2
  Terminal.Script.push_back({0x0200FF20, {}});
  Terminal.Script.push_back({0x250B, {}});
  auto keys = KeysFor(BuildKoi8Rkbd, other + "<Enter>");
  for (auto& k : keys) Terminal.Script.push_back(k);
  SaveFile();
  fs::permissions(dir + "/ro", fs::perms::owner_all);
  EXPECT_EQ(Slurp(dir + "/ro/f.txt"), "old\n");
  EXPECT_EQ(Ed.FileName, other);
  EXPECT_EQ(Slurp(other), "text\n");
  EXPECT_FALSE(Txt.Modified);
}

TEST_F(SaveTest, WritingToAnotherDirectory) {
  Text({"copy"});
  Ed.FileName = "some/where/name.txt";
  auto keys = KeysFor(BuildKoi8Rkbd, dir.substr(1) + "<Enter>");  // without the leading '/'
  for (auto& k : keys) Terminal.Script.push_back(k);
  WriteToDirectory(SaveMode::Plain);
  EXPECT_EQ(Slurp(dir + "/name.txt"), "copy\n");
  EXPECT_TRUE(Txt.Modified);  // a copy leaves the text changed

  // A directory that does not exist: the relative name is tried, then told.
  keys = KeysFor(BuildKoi8Rkbd, "no/such/dir<Enter><Enter>");
  for (auto& k : keys) Terminal.Script.push_back(k);
  WriteToDirectory(SaveMode::Plain);
  EXPECT_FALSE(fs::exists("where/name.txt"));
}

TEST_F(SaveTest, AFileNameIsNeverShellText) {
  Text({"safe"});
  std::string odd = dir + "/-x; touch pwned $(id) 'q'.txt";
  Ed.FileName = odd;
  SaveFile();
  EXPECT_EQ(Slurp(odd), "safe\n");
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(SaveTest, DataFilesAreFoundHereThenBesideTheProgram) {
  std::string full;
  EXPECT_FALSE(FindDataFile("no-such.vsk", full));
  std::string here = dir + "/keydef.vsk";
  Put(here, "x");
  EXPECT_TRUE(FindDataFile(here, full));
  EXPECT_EQ(full, here);
  EXPECT_FALSE(ProgramDirectory().empty());
  EXPECT_EQ(ProgramDirectory().back(), '/');
  EXPECT_FALSE(FindDataFile("a-name-longer-than-12.vsk", full));
}

TEST_F(SaveTest, DataFilesOfOtherUsersOrWritableByAllAreNotUsed) {
  // Row 2 begins with the message about the file (as much as fits).
  auto tells = [](const std::string& file) {
    std::string row;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) row += char(CellChar(CellAt(c, 2)));
    const std::string text = InBuildSet("Файл ") + file + InBuildSet(" чужой или доступен всем на запись, не используется");
    return row.substr(0, std::min(row.size(), text.size())) == text.substr(0, row.size());
  };
  std::string full;
  // Writable by every user: passed over, and the user is told once (the
  // message waits for a key, and none comes).
  const std::string open = dir + "/keydef.vsk";
  Put(open, "x");
  ASSERT_EQ(chmod(open.c_str(), 0666), 0);
  EXPECT_THROW(FindDataFile(open, full), InputLost);
  EXPECT_TRUE(tells(open));
  EXPECT_FALSE(FindDataFile(open, full)) << "a second look says nothing more";
  // Writable by the group: used.
  ASSERT_EQ(chmod(open.c_str(), 0664), 0);
  EXPECT_TRUE(FindDataFile(open, full));
  EXPECT_EQ(full, open);

  if (geteuid() != 0) GTEST_SKIP() << "a file of another user needs root to make (chown)";
  const std::string others = dir + "/shorts.vsk";
  Put(others, "x");
  ASSERT_EQ(chown(others.c_str(), 65534, 65534), 0);
  EXPECT_THROW(FindDataFile(others, full), InputLost);
  EXPECT_TRUE(tells(others));
  // Named by the user to be edited, it is taken as it is.
  EXPECT_TRUE(FindDataFile(others, full, true));
  EXPECT_EQ(full, others);
  // Root's own file is fine.
  ASSERT_EQ(chown(others.c_str(), 0, 0), 0);
  Ed.RefusedDataFiles.clear();
  EXPECT_TRUE(FindDataFile(others, full));
}

TEST(SaveRoundTrip, LoadedBytesComeBackExactly) {
  RunOptions o;
  o.Raw = true;
  o.Text = "crlf\r\ncr\rlf\n\tTAB\x01x\nlast";
  o.Switches = {"-w", "-p"};
  RunResult r = Drive(o);
  Txt.Modified = true;
  SaveFile();
  EXPECT_EQ(r.FileContent(), "crlf\ncr\nlf\n\tTAB\x01x\nlast\n");
}
