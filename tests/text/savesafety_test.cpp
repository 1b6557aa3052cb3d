// Saving keeps to what the file's permissions allow and keeps what the file
// had; no failure and no stop at any point of a save leaves a damaged file.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "base/state.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/savefile.h"

namespace fs = std::filesystem;

namespace {


// A folder of the test's own under the temporary directory.
struct TempFolder {
  TempFolder() {
    static int counter = 0;
    Path = testing::TempDir() + "vesk-safety-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempFolder() { fs::remove_all(Path); }
  std::string Path;
};

// The files of dir whose names the save path uses for its new files and
// copies.
std::vector<std::string> StrayFiles(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (n.find(".vesk-") != std::string::npos) out.push_back(n);
  }
  return out;
}

std::map<std::string, std::string> Attributes(const std::string& path) {
  std::map<std::string, std::string> out;
  char list[4096];
  ssize_t n = listxattr(path.c_str(), list, sizeof list);
  for (ssize_t i = 0; i < n;) {
    std::string name(list + i);
    i += ssize_t(name.size()) + 1;
    char value[4096];
    ssize_t v = getxattr(path.c_str(), name.c_str(), value, sizeof value);
    out[name] = v < 0 ? "?" : std::string(value, size_t(v));
  }
  return out;
}

// An access ACL as the kernel stores it: version 2, then tag, permissions
// and id of each entry, little-endian.
struct AclEntry {
  uint16_t Tag, Perm;
  uint32_t Id;
};
std::string AclValue(std::initializer_list<AclEntry> entries) {
  std::string b;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b += char((v >> (8 * i)) & 0xFF);
  };
  put(2, 4);
  for (const AclEntry& e : entries) {
    put(e.Tag, 2);
    put(e.Perm, 2);
    put(e.Id, 4);
  }
  return b;
}
constexpr uint16_t kUserObj = 1, kUser = 2, kGroupObj = 4, kMask = 0x10, kOther = 0x20;
constexpr uint32_t kNoId = 0xFFFFFFFF;

// Ids no account uses here: the user the saves run as, another user, a
// group the user belongs to and one it does not.
struct Ids {
  uid_t User = 0, Other = 0;
  gid_t Member = 0, Stranger = 0;
};
bool FreeIds(Ids& ids) {
  for (uid_t base = 47000; base < 60000; base += 10) {
    bool free = true;
    for (uid_t i = base; i < base + 4 && free; ++i) free = getpwuid(i) == nullptr && getgrgid(i) == nullptr;
    if (free) {
      ids = {base, base + 1, base + 2, base + 3};
      return true;
    }
  }
  return false;
}

// Runs fn in a child process with the user's ids (its own group and the
// member group); its result comes back as the exit status.
int RunAs(const Ids& ids, const std::function<bool()>& fn) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    gid_t groups[] = {gid_t(ids.User), ids.Member};
    if (setgroups(2, groups) != 0 || setresgid(ids.User, ids.User, ids.User) != 0 ||
        setresuid(ids.User, ids.User, ids.User) != 0)
      _exit(3);
    _exit(fn() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// Whether the user can reach folders under the temporary directory.
bool TempDirOpenTo(const Ids& ids) {
  TempFolder probe;
  if (chmod(probe.Path.c_str(), 0755) != 0) return false;
  return RunAs(ids, [&] { return faccessat(AT_FDCWD, probe.Path.c_str(), X_OK, AT_EACCESS) == 0; }) == 0;
}

}  // namespace

// Each case: who owns the file and its folder and with what permissions;
// the user then saves it.  The file is saved only where the user may write
// it, and keeps its owner, group, permission bits, ACL and attributes.
TEST(SavePermissions, AsAnotherUserASaveKeepsToPermissionsAndKeepsAttributes) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run saves as a second user (uid switch); running as uid " << geteuid();
  Ids ids;
  ASSERT_TRUE(FreeIds(ids)) << "no free uid/gid range";
  if (!TempDirOpenTo(ids)) GTEST_SKIP() << "the temporary directory " << testing::TempDir() << " is closed to a second user";
  enum Who { kTheUser, kAnother, kRoot };
  struct Case {
    const char* What;
    Who DirOwner;
    mode_t DirMode;
    Who FileOwner;
    int FileGroup;  // 0 the user's own, 1 a group the user is in, 2 one it is not in
    mode_t FileMode;
    bool Acl;       // an ACL entry for the other user (or, FileOwner another, denying the user)
    bool Attribute; // a user.* attribute
    bool Saved;
  };
  const Case cases[] = {
      {"a read-only file of the user's own", kTheUser, 0755, kTheUser, 0, 0444, false, false, false},
      {"a file of another user that the user may only read", kTheUser, 0755, kAnother, 0, 0644, false, false, false},
      {"an ACL entry denies the user writing", kTheUser, 0777, kAnother, 2, 0666, true, false, false},
      {"a writable file of the user's own", kTheUser, 0755, kTheUser, 0, 0640, false, false, true},
      {"a group the user is in, with set-group-id", kTheUser, 0755, kTheUser, 1, 02664, false, false, true},
      {"a group the user is not in", kTheUser, 0755, kTheUser, 2, 0664, false, false, true},
      {"an ACL and an attribute", kTheUser, 0755, kTheUser, 0, 0640, true, true, true},
      {"another user's writable file in a sticky folder", kRoot, 01777, kAnother, 2, 0666, false, false, true},
      {"another user's writable file in the user's folder", kTheUser, 0755, kAnother, 2, 0666, false, true, true},
      {"a folder that takes no new file", kTheUser, 0555, kTheUser, 1, 02660, true, true, true},
  };
  auto uidOf = [&](Who w) { return w == kTheUser ? ids.User : w == kAnother ? ids.Other : 0; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TempFolder top;
    ASSERT_EQ(chmod(top.Path.c_str(), 0755), 0);
    std::string dir = top.Path + "/d", file = dir + "/f.txt";
    fs::create_directories(dir);
    ASSERT_EQ(chown(dir.c_str(), uidOf(c.DirOwner), uidOf(c.DirOwner)), 0);
    ASSERT_EQ(chmod(dir.c_str(), c.DirMode), 0);
    Put(file, "old text\n");
    gid_t gid = c.FileGroup == 0 ? ids.User : c.FileGroup == 1 ? ids.Member : ids.Stranger;
    ASSERT_EQ(chown(file.c_str(), uidOf(c.FileOwner), gid), 0);
    ASSERT_EQ(chmod(file.c_str(), c.FileMode), 0);
    if (c.Acl) {
      bool deny = c.FileOwner != kTheUser;
      uint32_t named = deny ? ids.User : ids.Other;
      std::string acl = AclValue({{kUserObj, 6, kNoId}, {kUser, uint16_t(deny ? 4 : 6), named}, {kGroupObj, 6, kNoId},
                                  {kMask, 6, kNoId}, {kOther, uint16_t(deny ? 6 : 0), kNoId}});
      if (setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "this file system takes no ACLs: " << std::strerror(errno);
    }
    if (c.Attribute && setxattr(file.c_str(), "user.origin", "kept", 4, 0) != 0)
      GTEST_SKIP() << "this file system takes no user attributes: " << std::strerror(errno);
    struct stat before;
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    auto attributes = Attributes(file);

    int rc = RunAs(ids, [&] { return WriteFileSafely(file, "new text\n"); });
    ASSERT_LT(rc, 2) << "the save as the user did not run (status " << rc << ")";
    EXPECT_EQ(rc == 0, c.Saved);
    EXPECT_EQ(Slurp(file), c.Saved ? "new text\n" : "old text\n");
    struct stat after;
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(Attributes(file), attributes);
    EXPECT_TRUE(StrayFiles(dir).empty()) << StrayFiles(dir)[0];
  }
}

// The save command on a file the user may not write: the failure message,
// the text stays changed, and the user is asked for another name (Esc).
TEST(SavePermissions, ARefusedSaveKeepsTheTextChanged) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the save as a second user (uid switch); running as uid " << geteuid();
  Ids ids;
  ASSERT_TRUE(FreeIds(ids)) << "no free uid/gid range";
  if (!TempDirOpenTo(ids)) GTEST_SKIP() << "the temporary directory " << testing::TempDir() << " is closed to a second user";
  TempFolder top;
  ASSERT_EQ(chown(top.Path.c_str(), ids.User, ids.User), 0);
  std::string file = top.Path + "/ro.txt";
  Put(file, "old\n");
  ASSERT_EQ(chown(file.c_str(), ids.User, ids.User), 0);
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  struct Editor : EditorTest {
    void TestBody() override {}
    bool Save(const std::string& name) {
      MakeText(0);
      AppendLine("new", Txt.LineWidth);
      Txt.Modified = true;
      Ed.FileName = name;
      Keys({0x1C0D, 0x011B});  // the failure message, then Esc at the name prompt
      const Outcome outcome = SaveFile();
      return Txt.Modified && outcome == Outcome::Cancelled && Ed.FileName == name;
    }
  };
  int rc = RunAs(ids, [&] { return Editor().Save(file); });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Slurp(file), "old\n");
}

namespace {

// The fault-injection seam: every call of the save path counts as a step;
// one step fails, or the process is killed just before it.
struct Faults {
  static inline int Step = 0, FailAt = 0, KillAt = 0;
  static inline bool FailOn = false;  // every step from FailAt on fails
  static bool Hit() {
    ++Step;
    if (Step == KillAt) kill(getpid(), SIGKILL);
    if (Step == FailAt || (FailOn && FailAt > 0 && Step > FailAt)) {
      errno = EIO;
      return true;
    }
    return false;
  }
  static ssize_t Write(int fd, const void* d, size_t n) { return Hit() ? -1 : RealSaveCalls.Write(fd, d, n); }
  static ssize_t Pwrite(int fd, const void* d, size_t n, off_t at) {
    return Hit() ? -1 : RealSaveCalls.Pwrite(fd, d, n, at);
  }
  static int Fsync(int fd) { return Hit() ? -1 : RealSaveCalls.Fsync(fd); }
  static int Ftruncate(int fd, off_t n) { return Hit() ? -1 : RealSaveCalls.Ftruncate(fd, n); }
  static int Fallocate(int fd, int m, off_t at, off_t n) { return Hit() ? -1 : RealSaveCalls.Fallocate(fd, m, at, n); }
  static int Rename(const char* a, const char* b) { return Hit() ? -1 : RealSaveCalls.Rename(a, b); }
  static int Close(int fd) {
    if (!Hit()) return RealSaveCalls.Close(fd);
    RealSaveCalls.Close(fd);  // a failing close still releases the descriptor
    return -1;
  }
  static constexpr SaveCallTable Table = {Write, Pwrite, Fsync, Ftruncate, Fallocate, Rename, Close};
};

struct Tally {
  int Runs = 0, Old = 0, New = 0, Damaged = 0, CutPending = 0, WrongReport = 0;
};

}  // namespace

// Every save path, with every one of its steps failing in turn and with the
// process killed before every one of its steps in turn: the file always
// holds its whole old or its whole new content, a failure is reported as
// one, and a failed save leaves no copy behind.
TEST(SaveFaults, NoFailureAndNoKillAtAnyStepDamagesTheFile) {
  struct Scenario {
    const char* What;
    std::string Old, New;
    bool HardLink;  // rewritten in place
  };
  std::string big(12400, 'n');
  for (size_t i = 0; i < big.size(); i += 64) big[i] = '\n';
  std::string small = "short\n";
  const Scenario scenarios[] = {
      {"replaced, growing", small, big, false},
      {"replaced, shrinking", big, small, false},
      {"in place, growing", small, big, true},
      {"in place, same size", std::string(big).replace(0, 3, "old"), big, true},
      {"in place, shrinking", big, small, true},
  };
  std::map<std::string, Tally> failed, killed;
  for (const Scenario& s : scenarios) {
    for (int mode = 0; mode < 2; ++mode) {
      Tally& t = (mode == 0 ? failed : killed)[s.What];
      for (int k = 1;; ++k) {
        SCOPED_TRACE(std::string(s.What) + (mode == 0 ? ", failing step " : ", killed before step ") + std::to_string(k));
        TempFolder dir;
        std::string file = dir.Path + "/f.txt";
        Put(file, s.Old);
        if (s.HardLink) fs::create_hard_link(file, dir.Path + "/link.txt");
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
          SaveCalls = Faults::Table;
          Faults::Step = 0;
          (mode == 0 ? Faults::FailAt : Faults::KillAt) = k;
          bool ok = WriteFileSafely(file, s.New);
          // 0 saved, 1 refused, 2 refused with a copy kept; +4 when the
          // step was never reached.
          _exit((ok ? 0 : KeptCopy.empty() ? 1 : 2) + (Faults::Step < k ? 4 : 0));
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        bool wasKilled = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(wasKilled || WIFEXITED(status)) << status;
        int rc = wasKilled ? -1 : WEXITSTATUS(status);
        if (rc >= 4) break;  // the save had fewer steps: every one was tried
        ++t.Runs;
        std::string now = Slurp(file);
        // No file system call shrinks a file and changes its bytes at once:
        // a shrinking rewrite in place writes the new content, then cuts the
        // file.  Killed between the two, the file holds the new content
        // and the old one's tail, and the synced copy of the old content
        // stays beside it.  Anywhere else a kill leaves the old or the new.
        bool cutPending = wasKilled && s.HardLink && s.New.size() < s.Old.size() &&
                          now == s.New + s.Old.substr(s.New.size());
        if (now == s.Old) ++t.Old;
        else if (now == s.New) ++t.New;
        else if (cutPending) ++t.CutPending;
        else ++t.Damaged;
        EXPECT_TRUE(now == s.Old || now == s.New || cutPending) << "the file holds " << now.size() << " bytes";
        if (cutPending) {
          std::vector<std::string> copies = StrayFiles(dir.Path);
          ASSERT_EQ(copies.size(), 1u);
          EXPECT_EQ(Slurp(dir.Path + "/" + copies[0]), s.Old);
        }
        if (s.HardLink) {
          EXPECT_EQ(Slurp(dir.Path + "/link.txt"), now);
        }
        if (!wasKilled) {
          EXPECT_NE(rc, 2) << "a single failure left a copy instead of the old content";
          bool wrong = (rc == 0) != (now == s.New);
          t.WrongReport += wrong;
          EXPECT_FALSE(wrong) << "reported " << (rc == 0 ? "saved" : "failed");
          EXPECT_TRUE(StrayFiles(dir.Path).empty()) << StrayFiles(dir.Path)[0];
        }
      }
    }
  }
  std::printf("[ figures  ] fault injection over the save paths, outcomes old / new / damaged:\n");
  Tally sum[2];
  for (int mode = 0; mode < 2; ++mode) {
    for (const auto& [what, t] : mode == 0 ? failed : killed) {
      std::printf("[ figures  ]   %-20s %2d steps %s: old %2d  new %2d  damaged %d", what.c_str(), t.Runs,
                  mode == 0 ? "failed" : "killed", t.Old, t.New, t.Damaged);
      if (t.CutPending) std::printf("  + %d damaged in the cut window (new text, old tail; old in its copy)", t.CutPending);
      if (mode == 0) std::printf("  wrong report %d", t.WrongReport);
      std::printf("\n");
      sum[mode].Runs += t.Runs;
      sum[mode].Old += t.Old;
      sum[mode].New += t.New;
      sum[mode].Damaged += t.Damaged;
      sum[mode].CutPending += t.CutPending;
    }
    std::printf("[ figures  ]   all: %d operations %s, outcomes old %d, new %d, damaged %d", sum[mode].Runs,
                mode == 0 ? "failed" : "killed", sum[mode].Old, sum[mode].New, sum[mode].Damaged);
    if (sum[mode].CutPending)
      std::printf(" + %d damaged by a kill between the last write and the cut of a shrinking rewrite in place",
                  sum[mode].CutPending);
    std::printf("\n");
  }
  EXPECT_EQ(sum[0].Damaged + sum[1].Damaged, 0);
  EXPECT_EQ(sum[0].CutPending, 0);
  EXPECT_GT(sum[0].Runs, 20);
  EXPECT_GT(sum[1].Runs, 20);
}

// A disk that fails for good once the rewrite in place has begun: the old
// content cannot be put back, and its copy is kept and named.
TEST(SaveFaults, WhenTheOldContentCannotBePutBackItsCopyIsKept) {
  TempFolder dir;
  std::string file = dir.Path + "/f.txt";
  Put(file, "the old content\n");
  fs::create_hard_link(file, dir.Path + "/link.txt");
  SaveCalls = Faults::Table;
  Faults::Step = 0;
  Faults::FailAt = 5;  // copy: write, fsync, close; the file: reserve, write
  Faults::FailOn = true;
  bool ok = WriteFileSafely(file, "a new and longer content\n");
  SaveCalls = RealSaveCalls;
  Faults::FailAt = 0;
  Faults::FailOn = false;
  EXPECT_FALSE(ok);
  ASSERT_FALSE(KeptCopy.empty());
  EXPECT_EQ(KeptCopy.rfind(dir.Path + "/.vesk-copy-", 0), 0u) << KeptCopy;
  EXPECT_EQ(Slurp(KeptCopy), "the old content\n");
  fs::remove(KeptCopy);
}

// A real limit met half-way through a rewrite in place (a file-size limit,
// as a nearly full disk): the old content is put back whole.
TEST(SaveFaults, ALimitMetHalfWayInPlaceLeavesTheOldContent) {
  TempFolder dir;
  std::string file = dir.Path + "/f.txt", old(3000, 'o'), big(12400, 'n');
  Put(file, old);
  fs::create_hard_link(file, dir.Path + "/link.txt");
  struct rlimit was;
  getrlimit(RLIMIT_FSIZE, &was);
  struct rlimit small = was;
  small.rlim_cur = 8192;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = WriteFileSafely(file, big);
  setrlimit(RLIMIT_FSIZE, &was);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(KeptCopy.empty());
  EXPECT_EQ(Slurp(file), old);
  EXPECT_EQ(Slurp(dir.Path + "/link.txt"), old);
  EXPECT_TRUE(StrayFiles(dir.Path).empty());
}
