#include "blocks/insertfile.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/safefile.h"
#include "base/state.h"
#include "edit/typing.h"
#include "screen/term.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/messages.h"
#include "text/savefile.h"

InsertFileState Insert;

void ResetInsertFile() { Insert = InsertFileState{}; }

int16_t InsertLinesFrom(int fd, int16_t after, int& cut, bool& readError, bool utf8) {
  cut = 0;
  // The lines are read before any goes in, as many as the text could still
  // take and one more (that one is refused as the line limit says): a line
  // that could only be taken by cutting text off keeps them all out.
  auto reader = std::make_unique<LineReader>(fd, utf8);
  std::vector<std::string> lines;
  const size_t room = size_t(std::max(MaxLines - Txt.LineCount, 0)) + 1;
  std::string line;
  bool longer = false;
  while (lines.size() < room && reader->Next(line, longer)) {
    StopIfClosing();
    if (reader->CutText()) ++cut;
    lines.push_back(line);
  }
  readError = reader->Failed();
  int16_t n = after;
  if (cut > 0) return n;
  // InsertLine refuses at the line limit or when memory is short (it says
  // so and steps n back), which ends the insertion.
  for (const std::string& l : lines) {
    ++n;
    if (!InsertLine(uint8_t(std::max<size_t>(l.size(), Txt.LineWidth)), n)) break;
    StoreLine(l, n);
  }
  return n;
}

void TakeFile() {
  if (Insert.InsertFileName.empty()) Insert.InsertFileName = Ed.FileName.substr(0, MaxInsertFileName);
  std::string name = Insert.InsertFileName;
  int fd = -1;
  // The name prompt asks again until a readable file is named or the user
  // gives up; a file that disappears before it is opened asks again too.
  for (;;) {
    if (!AskFileName(name, FileNameUse::Read)) return;
    fd = OpenRegularForReading(name);
    if (fd >= 0) break;
    ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
  }
  Insert.InsertFileName = name.substr(0, MaxInsertFileName);

  const int16_t first = int16_t(Ed.CurLine + 1);
  int cut = 0;
  bool readError = false;
  // A UTF-8 file is converted when the set holds all of it, as on loading.
  Utf8Verdict utf8;
  if (Ed.AskRecodeOnLoad) utf8 = DetectUtf8File(fd);
  const int16_t last = InsertLinesFrom(fd, Ed.CurLine, cut, readError, utf8.Form == Utf8Verdict::Convertible);
  close(fd);
  if (cut > 0) {  // nothing was taken
    RefuseLongLine();
    return;
  }
  Insert.InsertedLast = last;
  // As when the text was loaded: damage the reading could not avoid is told.
  if (readError) ShowMessage(InBuildSet("Ошибка чтения файла, прочитано не всё: ") + name, 1);
  ReportUnconverted(utf8, "файл вставлен без перекодировки");
  // Otherwise the inserted lines alone decide whether they came in a foreign
  // code page.
  if (Ed.AskRecodeOnLoad && last >= first && utf8.Form == Utf8Verdict::NotUtf8) RecodeOnLoad(first, last, false);
}
