#include "text/savefile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/state.h"
#include "edit/prompt.h"
#include "screen/cells.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/status.h"

void AppendLineForSave(std::string& out, int n, int mode) {
  std::string_view s = LineText(n);  // the rest of the line is blanks
  size_t len = s.size();
  while (len > 0 && (s[len - 1] == ' ' || s[len - 1] == '\0')) --len;
  const size_t start = out.size();
  if (mode > 1) {
    // Mode 2 blanks control bytes; mode 4 spells them out as "#" and the
    // decimal code, the line cut at 255 bytes.
    for (size_t i = 0; i < len; ++i) {
      uint8_t b = uint8_t(s[i]);
      if (b >= 32) out += char(b);
      else if (mode == 4) out += "#" + std::to_string(b);
      else out += ' ';
    }
    if (out.size() - start > 255) out.resize(start + 255);
  } else {
    out.append(s.data(), len);
  }
  RecodeForDisk(out, start);  // back into the code page the file came in
  out += '\n';
}

std::string TextForSave(int first, int last, int mode) {
  std::string out;
  first = std::max(first, 1);
  last = std::min<int>(last, Txt.LineCount);
  if (last >= first) out.reserve(size_t(last - first + 1) * 64);
  for (int n = first; n <= last; ++n) AppendLineForSave(out, n, mode);
  return out;
}

std::string TextForSave() { return TextForSave(1, Txt.LineCount, 0); }

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

std::string KeptCopy;

namespace {

std::string DirectoryOf(const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// A new file of its own in dir, for the name pattern; -1 when dir takes none.
int NewFileIn(const std::string& dir, const char* pattern, std::vector<char>& name) {
  std::string tmp = (dir == "/" ? std::string() : dir) + "/" + pattern;
  name.assign(tmp.begin(), tmp.end());
  name.push_back('\0');
  return mkstemp(name.data());
}

// Rewrites target in place, but only after the whole text is safely on disk
// in a copy (beside it, or in the temporary directory when its directory
// takes no new file).  The copy is removed once the rewrite succeeded and
// kept, named in KeptCopy, when it did not.
bool RewriteInPlace(const std::string& target, const std::string& content) {
  std::vector<char> copy;
  int cfd = NewFileIn(DirectoryOf(target), ".vesk-copy-XXXXXX", copy);
  if (cfd < 0) {
    const char* t = std::getenv("TMPDIR");
    cfd = NewFileIn(t && *t ? t : "/tmp", "vesk-copy-XXXXXX", copy);
  }
  if (cfd < 0) return false;
  bool ok = WriteAllTo(cfd, content) && fsync(cfd) == 0;
  ok = close(cfd) == 0 && ok;
  if (!ok) {
    unlink(copy.data());
    return false;
  }
  int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    unlink(copy.data());
    return false;
  }
  ok = WriteAllTo(fd, content) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) unlink(copy.data());
  else KeptCopy = copy.data();  // the file may be damaged: the text is there
  return ok;
}

}  // namespace

bool WriteFileSafely(const std::string& path, const std::string& content) {
  KeptCopy.clear();
  // Write through a symlink to the file it names.
  std::string target = path;
  char resolved[PATH_MAX];
  struct stat lst;
  if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved)) target = resolved;

  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return false;

  // Other names share this file: it must keep its inode.
  if (exists && st.st_nlink > 1) return RewriteInPlace(target, content);

  std::vector<char> name;
  int fd = NewFileIn(DirectoryOf(target), ".vesk-save-XXXXXX", name);
  if (fd < 0) {
    // A directory that takes no new file may still hold a writable file.
    if (exists && access(target.c_str(), W_OK) == 0) return RewriteInPlace(target, content);
    return false;
  }
  bool ok = WriteAllTo(fd, content);
  if (ok && exists) {
    mode_t mode = st.st_mode & 07777;
    // The owner is kept where the process may; a file that now belongs to
    // someone else does not keep set-user or set-group bits.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
    ok = fchmod(fd, mode) == 0;
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

bool WriteLines(int first, int last, const std::string& path, int mode) {
  DrawMessage(InBuildSet("Записывается "));
  MoveCursor(Scr.ScreenWidth + 1, Scr.ScreenHeight + 1);  // off the text
  bool ok = WriteFileSafely(path, TextForSave(first, last, mode));
  if (!ok) ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
  if (!ok && !KeptCopy.empty()) ShowMessage(InBuildSet("Текст сохранён в файле ") + KeptCopy, 1);
  ClearMessageLine();
  return ok;
}

namespace {

bool Writable(const std::string& name) {
  struct stat st;
  if (stat(name.c_str(), &st) == 0) return S_ISREG(st.st_mode) && access(name.c_str(), W_OK) == 0;
  size_t slash = name.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
  return access(dir.c_str(), W_OK | X_OK) == 0;
}

bool Readable(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(name.c_str(), R_OK) == 0;
}

}  // namespace

bool AskFileName(std::string& name, int mode) {
  Txt.Failed = 0;
  for (;;) {
    if (mode == 0 || mode == 1 || mode == 4) {
      DrawMessage(InBuildSet("Введите имя файла или Esc: "));
      PromptLine(name, PromptOther);
      DrawStatusLine();
      if (Txt.Failed != 0) {
        Txt.Failed = 1;
        ClearMessageLine();
        return false;
      }
    }
    if (name.empty()) {
      ShowMessage(InBuildSet("Файл не найден: "), 1);
      Txt.Failed = 1;
      ClearMessageLine();
      return false;
    }
    if (mode == 4) break;
    if (mode % 2 == 1) {
      if (Writable(name)) break;
      ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
      if (mode == 1) continue;
      Txt.Failed = 1;
      ClearMessageLine();
      return false;
    }
    if (Readable(name)) break;
    ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
    if (mode == 0) continue;
    Txt.Failed = 1;
    ClearMessageLine();
    return false;
  }
  ClearMessageLine();
  return true;
}

void SaveFile() {
  Txt.Failed = 0;
  if (Ed.FileName.empty()) {
    std::string name;
    if (!AskFileName(name, 1)) return;
    Ed.FileName = name;
  }
  if (Txt.Modified) {
    for (;;) {
      if (WriteLines(1, Txt.LineCount, Ed.FileName, 0)) {
        Txt.Modified = false;
        Txt.LineSaved = false;
        break;
      }
      std::string name = Ed.FileName;
      if (!AskFileName(name, 1)) {
        Txt.Failed = 1;
        return;
      }
      Ed.FileName = name;
    }
  }
  WriteVariant('{', 2);
  WriteVariant('}', 4);
}

void WriteToDirectory(int mode, const std::string& target) {
  std::string tried = target;
  if (mode == 0) {
    std::string answer;
    for (;;) {
      DrawMessage(InBuildSet("   Введите букву или путь:"));
      PromptLine(answer, PromptOther);
      if (Txt.Failed != 0) {
        ClearMessageLine();
        return;
      }
      if (!answer.empty()) break;
    }
    ClearMessageLine();
    if (answer.back() != '/') answer += '/';
    if (answer.front() != '/') answer = "/" + answer;
    size_t slash = Ed.FileName.rfind('/');
    tried = answer + (slash == std::string::npos ? Ed.FileName : Ed.FileName.substr(slash + 1));
    std::string shown = tried + std::string(11, ' ');
    PutStringAt(1, 1, shown.substr(0, size_t(Scr.ScreenWidth)), 0x0B);
  }
  if (WriteFileSafely(tried, TextForSave(1, Txt.LineCount, mode))) return;
  if (mode != 0) {
    ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
    return;
  }
  size_t slash = Ed.FileName.find('/');
  if (slash != std::string::npos) {
    tried = Ed.FileName.substr(slash + 1);
    if (!tried.empty() && WriteFileSafely(tried, TextForSave(1, Txt.LineCount, mode))) return;
  }
  ShowMessage(InBuildSet("Неверно указано устройство или путь: ") + tried + " !", 1);
}

void WriteVariant(char ch, int mode) {
  size_t at = Ed.FileName.find(ch);
  if (at == std::string::npos) return;
  std::string target = Ed.FileName;
  target.erase(at, 1);
  WriteToDirectory(mode, target);
}

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, size_t(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FindDataFile(const std::string& name, std::string& full) {
  struct stat st;
  if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    full = name;
    return true;
  }
  if (name.size() > 12) return false;
  std::string dir = ProgramDirectory();
  if (dir.empty()) return false;
  std::string candidate = dir + name;
  if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    full = candidate;
    return true;
  }
  return false;
}
