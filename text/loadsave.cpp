#include "text/loadsave.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "base/limits.h"
#include "base/safefile.h"
#include "base/state.h"
#include "screen/cells.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/savefile.h"

LoadState Load;

// One read into to; false at the end of the file or on an error.
bool LineReader::ReadRaw(char* to, size_t room, size_t& got) {
  for (;;) {
    ssize_t n = read(Fd, to, room);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Error = n < 0;
      got = 0;
      return false;
    }
    got = size_t(n);
    return true;
  }
}

bool LineReader::Fill() {
  if (Eof) return false;
  Pos = 0;
  End = 0;
  LfKnown = false;
  if (!Utf8) {
    if (!ReadRaw(Buf, sizeof Buf, End)) {
      Eof = true;
      return false;
    }
    return true;
  }
  // Converted in place: the converted bytes are never more than the bytes
  // read.  A sequence cut by the end of a read waits in Carry for the next.
  while (End == 0) {
    std::memcpy(Buf, Carry, CarryLength);
    size_t got = 0;
    const bool more = ReadRaw(Buf + CarryLength, sizeof Buf - CarryLength, got);
    const size_t length = CarryLength + got;
    if (!more && length == 0) {
      Eof = true;
      return false;
    }
    size_t used = 0;
    End = DecodeUtf8Chunk(Buf, length, Buf, used, AtStart, !more, Strict);
    if (used > 0) AtStart = false;
    CarryLength = std::min(length - used, sizeof Carry);
    std::memcpy(Carry, Buf + used, CarryLength);
    if (Strict && Strict->Problem) {
      // What came before the problem is handed out, nothing after it.
      Eof = true;
      return End > 0;
    }
    if (!more && End == 0) {
      Eof = true;
      return false;
    }
  }
  return true;
}

Utf8Verdict DetectUtf8File(int fd) {
  Utf8Detector d;
  static char buf[65536];
  lseek(fd, 0, SEEK_SET);
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      lseek(fd, 0, SEEK_SET);
      return {};  // the reading proper reports the error
    }
    if (n == 0) break;
    d.Feed(std::string_view(buf, size_t(n)));
    if (d.Done()) break;
  }
  lseek(fd, 0, SEEK_SET);
  return d.Finish();
}

bool LineReader::Next(std::string& line, bool& cut) {
  line.clear();
  cut = false;
  TextCut = false;
  bool any = false;
  for (;;) {
    if (Pos >= End && !Fill()) return any;
    any = true;
    const char* start = Buf + Pos;
    const char* stop = Buf + End;
    const char* p = start;
    // The line end: the next LF (where the buffer has one; its place is
    // kept, so that a file of CR ends is not searched to the end of the
    // buffer for every line), or a CR before it.
    if (!LfKnown || LfAt < Pos) {
      const void* lf = std::memchr(start, '\n', End - Pos);
      LfAt = lf ? size_t(static_cast<const char*>(lf) - Buf) : End;
      LfKnown = true;
    }
    p = Buf + LfAt;
    if (const void* cr = std::memchr(start, '\r', size_t(p - start))) p = static_cast<const char*>(cr);
    size_t n = size_t(p - start);
    // Bytes past the 255th are skipped up to the line end.
    size_t room = size_t(MaxLineBytes) - line.size();
    if (n > room) {
      cut = true;
      for (const char* q = start + room; q < p && !TextCut; ++q) TextCut = *q != ' ';
    }
    line.append(start, std::min(n, room));
    Pos += n;
    if (p == stop) continue;
    char end = *p;
    ++Pos;
    if (end == '\r') {
      if (Pos >= End) Fill();
      if (Pos < End && Buf[Pos] == '\n') ++Pos;
    }
    return true;
  }
}

bool ApplyFileNameRules(const std::string& name) {
  size_t dot = name.find('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1, 3);
  if (!ext.empty() && std::all_of(ext.begin(), ext.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int n = std::stoi(ext);
    if (n >= 1 && n <= 254) {
      SetLineWidth(uint8_t(n));
      Ed.FormatWidth = uint8_t(n);
    }
    return false;
  }
  for (char& c : ext) c = char(std::toupper(uint8_t(c)));
  if (ext == "PAS" || ext == "INC" || ext == "PP" || ext == "DPR") {
    Ed.Source = SourceMode::Pascal;
    uint8_t w = uint8_t(Scr.ScreenWidth + 5);
    SetLineWidth(w);
    Ed.FormatWidth = w;
    return true;
  }
  return false;
}

namespace {

// One line into a new last line.  False, with a message, when the line
// cannot be taken; in the first pass a memory shortage only notes
// CompactReload.
bool LoadLine(const std::string& text, uint8_t width) {
  size_t w = std::max<size_t>(width, text.size());
  if (w >= LargestFreeBlock()) {
    if (Load.CompactReload == 0) {
      Load.CompactReload = uint8_t(w);
      return true;
    }
    ShowMessage(InBuildSet("НЕ ХВАТАЕТ ПАМЯТИ!"), 1);
    return false;
  }
  if (Txt.LineCount >= MaxLines) {
    ShowMessage(InBuildSet("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!"), 1);
    return false;
  }
  if (!AppendLine(text, width)) {
    ShowMessage(InBuildSet("НЕ ХВАТАЕТ ПАМЯТИ!"), 1);
    return false;
  }
  return true;
}

// How a reading of the whole file ended: every line taken; a line refused
// in the first pass (the text keeps the lines before it); the compact pass
// failed too.
enum class ReadEnd { Whole, Stopped, Failed };

}  // namespace

// Reads the open file into the line store; a first pass that runs out of
// memory starts again with lines of 7 bytes.
// With `strict` the file is read as UTF-8 that stops at the first sequence
// it cannot convert (see LineReader::Strict).
static ReadEnd ReadWholeFile(int fd, Utf8Decoding* strict) {
  const uint8_t blanksLength = Txt.Blanks[0];
  for (;;) {
    FreeAllLines();
    if (lseek(fd, 0, SEEK_SET) != 0 && Load.CompactReload != 0) return ReadEnd::Failed;
    auto holder = std::make_unique<LineReader>(fd, strict != nullptr);
    LineReader& reader = *holder;
    if (strict) {
      *strict = Utf8Decoding{};
      reader.Strict = strict;
    }
    std::string line;
    bool cut = false;
    bool restart = false;
    bool stopped = false;
    Load.CutLines = 0;
    while (reader.Next(line, cut)) {
      if (cut) ++Load.CutLines;
      const bool firstPass = Load.CompactReload == 0;
      const bool taken = LoadLine(line, Txt.LineWidth);
      if (firstPass && Load.CompactReload != 0) {
        FreeAllLines();
        SetLineWidth(7);
        Ed.LineLimitOff = !Ed.LineLimitOff;
        restart = true;
        break;
      }
      if (!taken) {
        if (!firstPass) return ReadEnd::Failed;
        stopped = true;
        break;
      }
    }
    Load.ReadError = reader.Failed();
    if (!restart) return stopped ? ReadEnd::Stopped : ReadEnd::Whole;
    // The compact pass keeps Blanks at the width it had.
    Txt.Blanks[0] = blanksLength;
  }
}

bool LoadFile() {
  Load = LoadState{};
  Utf8Verdict utf8;
  for (;;) {
    ApplyFileNameRules(Ed.FileName);
    SetLineWidth(Txt.LineWidth);
    // Only a regular file is read: a directory, a fifo (whose open would
    // wait for a writer) or a device such as /dev/zero (read without end)
    // counts as a file that cannot be opened.
    int fd = Ed.FileName.empty() ? -1 : OpenRegularForReading(Ed.FileName);
    if (fd >= 0) {
      // A UTF-8 file is converted on its way in when nothing is lost, before
      // its lines are cut at 255 bytes, which count in the converted line.
      // The file is read as UTF-8 first; the first sequence that cannot be
      // converted ends that reading, and the file is read again as it is.
      ReadEnd read;
      if (Ed.AskRecodeOnLoad) {
        Utf8Decoding strict;
        read = ReadWholeFile(fd, &strict);
        if (read == ReadEnd::Whole && strict.Problem) {
          utf8 = DetectUtf8File(fd);
          read = ReadWholeFile(fd, nullptr);
        } else if (strict.Multibyte) {
          utf8.Form = Utf8Verdict::Convertible;
          utf8.Bom = strict.Bom;
        }
      } else {
        read = ReadWholeFile(fd, nullptr);
      }
      close(fd);
      if (read == ReadEnd::Failed) return false;
      break;
    }
    if (Ed.FileName.empty()) break;
    // Never truncate or reuse an existing file here: only a file that does
    // not exist yet is created.
    int nfd = open(Ed.FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (nfd >= 0) {
      close(nfd);
      ShowMessage(InBuildSet("Новый файл."), 1);
      break;
    }
    ShowMessage(InBuildSet("Неверное имя файла!"), 1);
    std::string name;
    if (!AskFileName(name, FileNameUse::Any)) {
      Ed.FileName.clear();
      break;
    }
    Ed.FileName = name;
  }
  if (utf8.Form == Utf8Verdict::Convertible) {
    // Written back as UTF-8, with its byte-order mark if it had one.
    CodePage.DiskUtf8 = true;
    CodePage.Utf8Bom = utf8.Bom ? 1 : 0;
  }
  // Damage that loading could not avoid is told once, so that nobody saves a
  // shortened file unknowingly.
  if (Load.ReadError)
    ShowMessage(InBuildSet("Ошибка чтения файла, прочитано не всё: ") + Ed.FileName, 1);
  if (Load.CutLines > 0)
    ShowMessage(InBuildSet("Строк длиннее 255 байт, обрезано: ") + std::to_string(Load.CutLines), 1);
  ReportUnconverted(utf8, "файл показан без перекодировки");
  // Otherwise the first lines tell whether the file came in a foreign code
  // page.
  if (Ed.AskRecodeOnLoad && Txt.LineCount > 0 && utf8.Form == Utf8Verdict::NotUtf8)
    RecodeOnLoad(1, std::min<int>(Txt.LineCount, 25), true);
  Txt.Modified = false;
  Ed.CurLine = 1;
  if (Txt.LineCount == 0) {
    // The blank line of an empty or new file marks the text modified.
    int16_t n = 1;
    InsertLine(Txt.LineWidth, n);
    Load.Empty = true;
  }
  return true;
}
