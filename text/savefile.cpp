#include "text/savefile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/limits.h"
#include "base/state.h"
#include "screen/cells.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/status.h"

void AppendLineForSave(std::string& out, int n, SaveMode mode) {
  std::string_view s = LineText(n);  // the rest of the line is blanks
  size_t len = s.size();
  while (len > 0 && (s[len - 1] == ' ' || s[len - 1] == '\0')) --len;
  const size_t start = out.size();
  if (mode != SaveMode::Plain) {
    // Control bytes become blanks, or "#" and the decimal code, the line
    // cut at 255 bytes.
    for (size_t i = 0; i < len; ++i) {
      uint8_t b = uint8_t(s[i]);
      if (b >= 32) out += char(b);
      else if (mode == SaveMode::SpellControls) out += "#" + std::to_string(b);
      else out += ' ';
    }
    if (out.size() - start > size_t(MaxLineBytes)) out.resize(start + size_t(MaxLineBytes));
    RecodeForDisk(out, start);  // back into the code page the file came in
  } else {
    AppendForDisk(out, s.substr(0, len));
  }
  out += '\n';
}

namespace {

// Lines first..last in UTF-8 as they are written: gathered as they are
// stored, with their line ends, into a buffer on the stack, which is then
// converted in one go into another and added to the text.  The text's room
// is taken for 128 bytes a line (64 Cyrillic letters, twice what the other
// forms take), without a pass over the lines to measure them: that pass
// cost more than the text growing now and then.
void AppendUtf8Lines(std::string& out, int first, int last) {
  if (last < first) return;
  out.reserve(out.size() + size_t(last - first + 1) * 128);
  constexpr size_t kGather = 8192;
  char lines[kGather + 256];
  char utf8[Utf8Room(kGather + 256)];
  size_t used = 0;
  for (int n = first; n <= last; ++n) {
    std::string_view s = LineText(n);  // the rest of the line is blanks
    size_t len = s.size();
    while (len > 0 && (s[len - 1] == ' ' || s[len - 1] == '\0')) --len;
    std::memcpy(lines + used, s.data(), len);
    used += len;
    lines[used++] = '\n';
    if (used >= kGather || n == last) {
      out.append(utf8, EncodeUtf8(lines, used, utf8));
      used = 0;
    }
  }
}

}  // namespace

std::string TextForSave(int first, int last, SaveMode mode) {
  std::string out;
  first = std::max(first, 1);
  last = std::min<int>(last, Txt.LineCount);
  // A UTF-8 file's byte-order mark goes back before its first line.
  if (first == 1 && last == Txt.LineCount) out += DiskPrefix();
  if (mode == SaveMode::Plain && CodePage.DiskUtf8) {
    AppendUtf8Lines(out, first, last);
    return out;
  }
  if (last >= first) out.reserve(out.size() + size_t(last - first + 1) * 64);
  for (int n = first; n <= last; ++n) AppendLineForSave(out, n, mode);
  return out;
}

std::string TextForSave() { return TextForSave(1, Txt.LineCount, SaveMode::Plain); }

namespace {

ssize_t RealWrite(int fd, const void* data, size_t size) { return write(fd, data, size); }
ssize_t RealPwrite(int fd, const void* data, size_t size, off_t at) { return pwrite(fd, data, size, at); }
int RealFsync(int fd) { return fsync(fd); }
int RealFtruncate(int fd, off_t size) { return ftruncate(fd, size); }
int RealFallocate(int fd, int mode, off_t at, off_t size) { return fallocate(fd, mode, at, size); }
int RealRename(const char* from, const char* to) { return rename(from, to); }
int RealClose(int fd) { return close(fd); }

}  // namespace

const SaveCallTable RealSaveCalls = {RealWrite, RealPwrite, RealFsync, RealFtruncate, RealFallocate, RealRename, RealClose};
SaveCallTable SaveCalls = RealSaveCalls;

namespace {

bool WriteAllTo(int fd, const std::string& content) {
  const char* p = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t w = SaveCalls.Write(fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    left -= size_t(w);
  }
  return true;
}

// The whole of content at offset 0 of fd, in as few calls as the system
// allows (one, normally).
bool WriteAllAt(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t w = SaveCalls.Pwrite(fd, content.data() + done, content.size() - done, off_t(done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    done += size_t(w);
  }
  return true;
}

bool ReadAllFrom(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (off_t at = 0;;) {
    ssize_t r = pread(fd, buf, sizeof buf, at);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return true;
    out.append(buf, size_t(r));
    at += r;
  }
}

}  // namespace

std::string KeptCopy;

bool MayWriteFile(const std::string& name) {
  // Asked without opening the file, which watchers of it would take for a
  // write; the save itself opens it and so has the last word.
  return faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0;
}

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

// The names of fd's extended attributes; false when they cannot be read
// (a file system without them has none).
bool AttributeNames(int fd, std::vector<std::string>& names) {
  names.clear();
  for (;;) {
    ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    std::vector<char> list(size_t(size) + 1);
    ssize_t got = flistxattr(fd, list.data(), list.size() - 1);
    if (got < 0 && errno == ERANGE) continue;  // grew meanwhile
    if (got < 0) return false;
    for (size_t i = 0; i < size_t(got);) {
      std::string n(list.data() + i);
      i += n.size() + 1;
      if (!n.empty()) names.push_back(n);
    }
    return true;
  }
}

// Gives `to` exactly the extended attributes of `from` (ACLs among them):
// false when one of them cannot be copied or one `to` got by itself (an
// inherited default ACL) cannot be removed.
bool CopyAttributes(int from, int to) {
  std::vector<std::string> had, has;
  if (!AttributeNames(from, had) || !AttributeNames(to, has)) return false;
  for (const std::string& n : has) {
    if (std::find(had.begin(), had.end(), n) == had.end() && fremovexattr(to, n.c_str()) != 0) return false;
  }
  for (const std::string& n : had) {
    std::vector<char> value;
    ssize_t got;
    do {
      ssize_t size = fgetxattr(from, n.c_str(), nullptr, 0);
      if (size < 0) return false;
      value.resize(size_t(size) + 1);
      got = fgetxattr(from, n.c_str(), value.data(), value.size() - 1);
    } while (got < 0 && errno == ERANGE);
    if (got < 0 || fsetxattr(to, n.c_str(), value.data(), size_t(got), 0) != 0) return false;
  }
  return true;
}

// Makes the new file fd what the old one (st, open as old) was: owner,
// group, permission bits (set-id bits included), ACLs and extended
// attributes.  False when any of them cannot be given exactly.
bool CarryOver(int fd, int old, const struct stat& st) {
  if (fchown(fd, st.st_uid, st.st_gid) != 0) return false;
  if (!CopyAttributes(old, fd)) return false;
  if (fchmod(fd, st.st_mode & 07777) != 0) return false;
  struct stat now;
  return fstat(fd, &now) == 0 && now.st_uid == st.st_uid && now.st_gid == st.st_gid &&
         (now.st_mode & 07777) == (st.st_mode & 07777);
}

// A synced copy of content in a new file of its own (0600) beside target,
// else in $TMPDIR, else in /tmp; its name in `name`.
bool SafetyCopy(const std::string& target, const std::string& content, std::vector<char>& name) {
  int fd = NewFileIn(DirectoryOf(target), ".vesk-copy-XXXXXX", name);
  const char* t = std::getenv("TMPDIR");
  if (fd < 0 && t && *t) fd = NewFileIn(t, "vesk-copy-XXXXXX", name);
  if (fd < 0) fd = NewFileIn("/tmp", "vesk-copy-XXXXXX", name);
  if (fd < 0) return false;
  bool ok = WriteAllTo(fd, content) && SaveCalls.Fsync(fd) == 0;
  ok = SaveCalls.Close(fd) == 0 && ok;
  if (!ok) unlink(name.data());
  return ok;
}

// Rewrites the file open as fd (for reading and writing; it is closed here)
// in place, so that at every moment it holds its old content or the new
// one.  The old content is read and a synced copy of it is made first;
// the space the new content needs beyond the old end is reserved before
// anything is overwritten; the new content goes in with one write where
// the system allows and the file is cut to its length only then.  When
// anything fails the old content is written back; only when even that
// fails the copy is kept and named in KeptCopy.
bool RewriteInPlace(int fd, const std::string& target, const std::string& content) {
  std::string old;
  if (!ReadAllFrom(fd, old)) {
    SaveCalls.Close(fd);
    return false;
  }
  std::vector<char> copy;
  if (!SafetyCopy(target, old, copy)) {
    SaveCalls.Close(fd);
    return false;
  }
  bool ok = true;
  if (content.size() > old.size()) {
    // Reserved without changing the size: a stop here leaves the old file.
    if (SaveCalls.Fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(content.size())) != 0)
      ok = errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL;  // no reservation here: go on without
  }
  ok = ok && WriteAllAt(fd, content);
  if (ok && content.size() < old.size()) ok = SaveCalls.Ftruncate(fd, off_t(content.size())) == 0;
  ok = ok && SaveCalls.Fsync(fd) == 0;
  if (!ok) {
    // The old content back into the blocks it had.
    bool back = WriteAllAt(fd, old) && SaveCalls.Ftruncate(fd, off_t(old.size())) == 0 && SaveCalls.Fsync(fd) == 0;
    if (!back) KeptCopy = copy.data();
  }
  // The content is on the disk once fsync succeeded: a failing close then
  // takes nothing away.
  SaveCalls.Close(fd);
  if (KeptCopy.empty()) unlink(copy.data());
  return ok;
}

// errno values of a rename the directory or the file's owner forbid, as
// against a failing disk.
bool RenameForbidden(int e) { return e == EPERM || e == EACCES || e == EBUSY || e == EXDEV; }

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

  // An existing file is opened as it is, without truncating it: the kernel
  // says whether this process may write it.  A file it may write but not
  // read can still be replaced, but not rewritten in place.
  int old = -1;
  bool readable = true;
  if (exists) {
    old = open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (old < 0 && errno == EACCES) {
      readable = false;
      old = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    }
    if (old < 0 || fstat(old, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (old >= 0) close(old);
      return false;
    }
  }
  auto inPlace = [&]() {
    if (readable) return RewriteInPlace(old, target, content);
    close(old);
    return false;
  };

  // Other names share this file: it must keep its inode.
  if (exists && st.st_nlink > 1) return inPlace();

  std::vector<char> name;
  int fd = NewFileIn(DirectoryOf(target), ".vesk-save-XXXXXX", name);
  if (fd < 0) {
    // A directory that takes no new file may still hold a writable file.
    if (exists) return inPlace();
    return false;
  }
  bool ok = true;
  if (exists) {
    // A new file that cannot be what the old one was would drop owner,
    // group, permissions or attributes: rewrite the old one instead.
    if (!CarryOver(fd, old, st)) {
      close(fd);
      unlink(name.data());
      return inPlace();
    }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fd, 0666 & ~mask) == 0;
  }
  ok = ok && WriteAllTo(fd, content);
  ok = ok && SaveCalls.Fsync(fd) == 0;
  ok = SaveCalls.Close(fd) == 0 && ok;
  if (ok && SaveCalls.Rename(name.data(), target.c_str()) != 0) {
    int e = errno;
    unlink(name.data());
    // A sticky directory keeps another user's file from being replaced.
    if (exists && RenameForbidden(e)) return inPlace();
    ok = false;
  } else if (!ok) {
    unlink(name.data());
  }
  if (old >= 0) close(old);
  return ok;
}

bool WriteLines(int first, int last, const std::string& path, SaveMode mode) {
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
  if (stat(name.c_str(), &st) == 0) return S_ISREG(st.st_mode) && MayWriteFile(name);
  return faccessat(AT_FDCWD, DirectoryOf(name).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool Readable(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && faccessat(AT_FDCWD, name.c_str(), R_OK, AT_EACCESS) == 0;
}

}  // namespace

namespace {

NameLine gNameLine = nullptr;

// Without a prompt line handed over, every dialog is given up at once.
NameAnswer ReadName(std::string_view offered) {
  return gNameLine ? gNameLine(offered) : NameAnswer{std::string(offered), false};
}

}  // namespace

void UseNameLine(NameLine read) { gNameLine = read; }

bool AskFileName(std::string& name, FileNameUse use) {
  for (;;) {
    if (use != FileNameUse::Found) {
      DrawMessage(InBuildSet("Введите имя файла или Esc: "));
      const NameAnswer typed = ReadName(name);
      name = typed.Text;
      DrawStatusLine();
      if (!typed.Given) {
        ClearMessageLine();
        return false;
      }
    }
    if (name.empty()) {
      ShowMessage(InBuildSet("Файл не найден: "), 1);
      ClearMessageLine();
      return false;
    }
    if (use == FileNameUse::Any) break;
    if (use == FileNameUse::Write) {
      if (Writable(name)) break;
      ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
      continue;
    }
    if (Readable(name)) break;
    ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
    if (use == FileNameUse::Read) continue;
    ClearMessageLine();
    return false;
  }
  ClearMessageLine();
  return true;
}

Outcome SaveFile() {
  if (Ed.FileName.empty()) {
    std::string name;
    if (!AskFileName(name, FileNameUse::Write)) return Outcome::Cancelled;
    Ed.FileName = name;
  }
  if (Txt.Modified) {
    for (;;) {
      if (WriteLines(1, Txt.LineCount, Ed.FileName, SaveMode::Plain)) {
        Txt.Modified = false;
        Txt.LineSaved = false;
        break;
      }
      std::string name = Ed.FileName;
      if (!AskFileName(name, FileNameUse::Write)) return Outcome::Cancelled;
      Ed.FileName = name;
    }
  }
  WriteVariant('{', SaveMode::BlankControls);
  WriteVariant('}', SaveMode::SpellControls);
  return Outcome::Done;
}

void WriteToDirectory(SaveMode mode, const std::string& target) {
  std::string tried = target;
  if (mode == SaveMode::Plain) {
    std::string answer;
    for (;;) {
      DrawMessage(InBuildSet("   Введите букву или путь:"));
      const NameAnswer typed = ReadName(answer);
      answer = typed.Text;
      if (!typed.Given) {
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
  if (mode != SaveMode::Plain) {
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

void WriteVariant(char ch, SaveMode mode) {
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

namespace {

// The data files steer the editor (a keystroke buffer runs commands, key
// definitions and abbreviations type text), and the current directory may
// be one that others write into too: a file there that another user owns
// (root aside) or that every user may write could have been planted.
bool PlantedDataFile(const struct stat& st) {
  return (st.st_uid != geteuid() && st.st_uid != 0) || (st.st_mode & S_IWOTH) != 0;
}

// Says once a session that the file is not used.
void ReportPlantedDataFile(const std::string& name) {
  auto& seen = Ed.RefusedDataFiles;
  if (std::find(seen.begin(), seen.end(), name) != seen.end()) return;
  seen.push_back(name);
  ShowMessage(InBuildSet("Файл ") + name + InBuildSet(" чужой или доступен всем на запись, не используется"), 1);
}

}  // namespace

bool FindDataFile(const std::string& name, std::string& full, bool anyOwner) {
  struct stat st;
  if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (anyOwner || !PlantedDataFile(st)) {
      full = name;
      return true;
    }
    ReportPlantedDataFile(name);
  }
  if (name.size() > 12) return false;
  std::string dir = ProgramDirectory();
  if (dir.empty()) return false;
  // Then the program's own folder, then the data folder of an installed
  // program (<prefix>/bin/../share/vesk).
  for (const std::string& candidate : {dir + name, dir + "../share/vesk/" + name}) {
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      full = candidate;
      return true;
    }
  }
  return false;
}
