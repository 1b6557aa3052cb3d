#include "text/savefile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/state.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"

void AppendLineForSave(std::string& out, int n) {
  std::string_view s = LineBytes(n);
  size_t len = s.size();
  while (len > 0 && (s[len - 1] == ' ' || s[len - 1] == '\0')) --len;
  const size_t start = out.size();
  out.append(s.data(), len);
  RecodeForDisk(out, start);  // back into the code page the file came in
  out += '\n';
}

std::string TextForSave() {
  std::string out;
  out.reserve(size_t(Txt.LineCount) * 64);
  for (int n = 1; n <= Txt.LineCount; ++n) AppendLineForSave(out, n);
  return out;
}

namespace {

bool WriteAllTo(int fd, const std::string& content) {
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t w = write(fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    left -= size_t(w);
  }
  return true;
}

}  // namespace

bool WriteFileSafely(const std::string& path, const std::string& content) {
  // Write through a symlink to the file it names.
  std::string target = path;
  char resolved[PATH_MAX];
  struct stat lst;
  if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved)) target = resolved;

  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return false;

  if (exists && st.st_nlink > 1) {
    // Other names share this file: it must be rewritten in place, but only
    // after the whole text is safely on disk beside it.
    std::string copy = target + ".vesk-new";
    int cfd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (cfd < 0) return false;
    bool ok = WriteAllTo(cfd, content) && fsync(cfd) == 0;
    ok = close(cfd) == 0 && ok;
    if (!ok) {
      unlink(copy.c_str());
      return false;
    }
    int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
      unlink(copy.c_str());
      return false;
    }
    ok = WriteAllTo(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) unlink(copy.c_str());  // else the copy stays: the text is there
    return ok;
  }

  std::string dir = ".";
  size_t slash = target.rfind('/');
  if (slash != std::string::npos) dir = slash == 0 ? "/" : target.substr(0, slash);
  std::string tmp = (dir == "/" ? std::string() : dir) + "/.vesk-save-XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = WriteAllTo(fd, content);
  if (ok && exists) {
    ok = fchmod(fd, st.st_mode & 07777) == 0;
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only the owner's group may be kept by an ordinary user; the bits stay.
    }
  } else if (ok) {
    mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fd, 0666 & ~mask) == 0;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(name.data(), target.c_str()) == 0;
  if (!ok) unlink(name.data());
  return ok;
}

void SaveFile() {
  Txt.Failed = 0;
  if (Ed.FileName.empty()) {
    // Naming the file needs the file-name prompt.
    ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
    Txt.Failed = 1;
    return;
  }
  if (!Txt.Modified) return;
  DrawMessage(InBuildSet("Записывается "));
  if (WriteFileSafely(Ed.FileName, TextForSave())) {
    Txt.Modified = false;
    Txt.LineSaved = false;
    ClearMessageLine();
  } else {
    ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
    Txt.Failed = 1;
  }
}
