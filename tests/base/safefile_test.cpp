#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/scratch.h"
#include "base/safefile.h"

namespace fs = std::filesystem;

// The state and saved-strings files are written at every exit: whatever
// the file held before, it must hold the new content exactly afterwards,
// and a file that already holds it is not written at all.
TEST(SharedFile, HoldsExactlyWhatWasWrittenWhateverItHeldBefore) {
  const std::string dir = testing::TempDir() + "vesk-shared-" + std::to_string(getpid());
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string f = dir + "/state";
  const std::string steps[] = {"1\n2\n3\n", "1\n2\n3\n4\n5\n", "9\n", "", "long line " + std::string(9000, 'x'),
                               "long line " + std::string(8000, 'x'), "long line " + std::string(8000, 'y')};
  for (const std::string& content : steps) {
    ASSERT_TRUE(WriteSharedFile(f, content));
    EXPECT_EQ(Slurp(f), content) << content.size() << " bytes";
  }
  // The same content again leaves the file as it was, time stamp included.
  const struct timespec old[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), old, 0), 0);
  ASSERT_TRUE(WriteSharedFile(f, steps[6]));
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // One byte different: written.
  std::string changed = steps[6];
  changed[5000] = 'z';
  ASSERT_TRUE(WriteSharedFile(f, changed));
  EXPECT_EQ(Slurp(f), changed);
  fs::remove_all(dir);
}
