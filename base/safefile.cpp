#include "base/safefile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct Fd {
  int N = -1;
  ~Fd() {
    if (N >= 0) close(N);
  }
};
}  // namespace

int OpenRegularForReading(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

std::optional<std::string> ReadSharedFile(const std::string& path, size_t limit) {
  Fd fd;
  fd.N = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd.N < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd.N, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  // What another user left here is not taken for the editor's own.
  if (st.st_uid != geteuid()) return std::nullopt;
  std::string out;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd.N, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, size_t(n));
    if (out.size() > limit) {
      out.resize(limit);
      break;
    }
  }
  return out;
}

namespace {
// Whether the open file holds exactly content (it is size bytes long).
bool HoldsAlready(int fd, const std::string& content, off_t size) {
  if (size != off_t(content.size())) return false;
  char buf[4096];
  size_t at = 0;
  while (at < content.size()) {
    ssize_t n = pread(fd, buf, sizeof buf, off_t(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (content.compare(at, size_t(n), buf, size_t(n)) != 0) return false;
    at += size_t(n);
  }
  return true;
}
}  // namespace

bool WriteSharedFile(const std::string& path, const std::string& content) {
  Fd fd;
  // Read and write where the file lets its owner read, so that a file that
  // already says the same is left alone: these files are written at every
  // exit and mostly unchanged, and shortening a file costs the file system
  // a journal commit.
  bool readable = true;
  fd.N = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd.N < 0 && errno == EACCES) {
    readable = false;
    fd.N = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  }
  if (fd.N < 0) return false;
  struct stat st;
  if (fstat(fd.N, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return false;
  // A second name means a hard link someone planted in the shared
  // directory: truncating would destroy the file it shares data with.
  if (st.st_nlink != 1) return false;
  if (readable && HoldsAlready(fd.N, content, st.st_size)) {
    int fdn = fd.N;
    fd.N = -1;
    return close(fdn) == 0;
  }
  // Written over from the start; cut only when it was longer.
  const char* p = content.data();
  size_t left = content.size();
  off_t at = 0;
  while (left > 0) {
    ssize_t w = pwrite(fd.N, p, left, at);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    at += w;
    left -= size_t(w);
  }
  if (st.st_size > off_t(content.size()) && ftruncate(fd.N, off_t(content.size())) != 0) return false;
  int fdn = fd.N;
  fd.N = -1;
  return close(fdn) == 0;
}
