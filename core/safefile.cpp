#include "core/safefile.h"

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

bool WriteSharedFile(const std::string& path, const std::string& content) {
  Fd fd;
  fd.N = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd.N < 0) return false;
  struct stat st;
  if (fstat(fd.N, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return false;
  // A second name means a hard link someone planted in the shared
  // directory: truncating would destroy the file it shares data with.
  if (st.st_nlink != 1) return false;
  if (ftruncate(fd.N, 0) != 0) return false;
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t w = write(fd.N, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    left -= size_t(w);
  }
  int fdn = fd.N;
  fd.N = -1;
  return close(fdn) == 0;
}
