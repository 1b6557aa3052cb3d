#include "core/commands.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/limits.h"
#include "builds/build.h"
#include "core/editor.h"
#include "base/state.h"
#include "edit/lines.h"
#include "edit/prompt.h"
#include "blocks/blocks.h"
#include "blocks/keydefs.h"
#include "text/marks.h"
#include "blocks/insertfile.h"
#include "blocks/shorts.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"

LoopState Loop;

void ResetLoopState() {
  std::vector<std::string> args = std::move(Loop.Arguments);
  Loop = LoopState{};
  Loop.Arguments = std::move(args);
}

namespace {

int ScreenRow() { return Ed.CurLine - Ed.WindowTop + 3; }

bool BlockMarked() { return Ed.BlockFirst > 0 || Ed.RectFirst > 0; }

int FirstNonBlankColumn(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (s[i] != ' ') return int(i) + 1;
  return 0;
}

int AskQuestion(const char* koi8Text, const char* cp866Text) {
  Q.AskSelection = 1;
  return Ask(InBuildSet(CurrentBuild().koi8r ? koi8Text : cp866Text), "", 0x3F, 0x2F, 0x5F, 0x0D);
}

void Jump(int16_t line, int16_t top, int col) {
  Ed.CurLine = std::clamp<int16_t>(line, 1, Txt.LineCount);
  Ed.WindowTop = std::clamp<int16_t>(top, 1, Txt.LineCount);
  if (col >= 1) Ed.CurCol = std::min(col, MaxLineBytes);
  Txt.LineSaved = false;
}

}  // namespace

void CmdHome() {
  std::string_view s = LineBytes(Ed.CurLine);
  int f = FirstNonBlankColumn(s.substr(0, TrimmedLength(s)));
  if (f == 0) f = Ed.IndentColumn;
  if (Ed.CurCol > f) Ed.CurCol = f;
  else if (Ed.CurCol > Ed.IndentColumn) Ed.CurCol = Ed.IndentColumn;
  else Ed.CurCol = 1;
}

void CmdEnd() {
  std::string_view s = LineBytes(Ed.CurLine);
  // One past the visible end; a full line of 255 keeps the cursor on its end.
  Ed.CurCol = std::clamp(TrimmedLength(s) + 1, 1, MaxLineBytes);
}

void CmdTab() {
  for (uint8_t stop : Ed.TabStops)
    if (stop > Ed.CurCol) {
      Ed.CurCol = stop;
      return;
    }
}

void CmdBackTab() {
  if (Ed.CurCol <= 1) return;
  int best = 0;
  for (uint8_t stop : Ed.TabStops)
    if (stop < Ed.CurCol) best = std::max<int>(best, stop);
  if (best >= 1) Ed.CurCol = best;
}

void CmdEnter() {
  if (Ed.CurLine >= Txt.LineCount) {
    InsertEmptyLine();
    return;
  }
  Ed.CurCol = Ed.IndentColumn;
  ++Ed.CurLine;
  Txt.LineSaved = false;
}

namespace {
// Deleting the character at the cursor (Delete and Backspace).
void DeleteCharacter(bool deleteKey) {
  SaveLineForUndo(Ed.CurLine);
  if (deleteKey && Ed.CurCol > TrimmedLength(LineBytes(Ed.CurLine))) {
    JoinLines();
    return;
  }
  DeleteCharAtCursor();  // also moves a one-line rectangle on its right
}
}  // namespace

void CmdBackspace() {
  if (Ed.CurCol <= 1) return;
  Shorts.PendingContinuation = 0;
  --Ed.CurCol;
  DeleteCharacter(false);
}

void CmdDelete() {
  if (BlockMarked()) {
    const int answer = AskQuestion(" Удалить помеченный блок ? | 1 - да | 2 - нет | 3 or Esc - nothing |",
                                   " Удалить помеченный блок ? | 1 - да | 2 - нет | 3 или Esc - ничего |");
    if (answer == 1) DeleteBlock();
    if (answer != 2) return;
  }
  DeleteCharacter(true);
}

void CmdToggleInsert() {
  Ed.InsertMode = !Ed.InsertMode;
  if (Term) Term->SetCursorShape(Ed.InsertMode);
}

void CmdDeleteLine() {
  if (Ed.CurLine >= Txt.LineCount) {
    if (AskQuestion(" Последняя строка! Удалять ? | 1 - да | 2 или Esc - нет |",
                    "Последняя строка! Удалять ? | 1 - да | 2 или Esc - нет |") != 1)
      return;
  }
  SaveLineForUndo(Ed.CurLine);
  int16_t n = Ed.CurLine;
  DeleteLine(n);
}

void CmdEscape() {
  if (Shorts.PendingContinuation > 0) {
    Shorts.PendingContinuation = 0;
    return;
  }
  if (BlockMarked()) {
    UnmarkBlock();
    return;
  }
  ExitEditor();
}

void CmdUp(bool shift) {
  if (Ed.CurLine > 1) CursorUp(shift);
  if (ScreenRow() < 3) Ed.WindowTop = Ed.CurLine;
}

void CmdDown(bool shift) {
  CursorDown(shift);
}

void CmdLinesUp(int count, bool shift) {
  int n = std::min(count, Ed.CurLine - 1);
  for (int i = 0; i < n; ++i) CmdUp(shift);
}

void CmdLinesDown(int count, bool shift) {
  int n = std::min(count, Txt.LineCount - Ed.CurLine);
  for (int i = 0; i < n; ++i) CmdDown(shift);
}

void CmdTopOfFile() {
  PushPosition();
  int row = ScreenRow();
  Ed.WindowTop = 1;
  Ed.CurLine = int16_t(std::clamp(row - 2, 1, int(Txt.LineCount)));
  Txt.LineSaved = false;
}

void CmdBottomOfFile() {
  int n = Txt.LineCount - Ed.PageLines;
  if (n <= 0) return;
  PushPosition();
  int row = ScreenRow();
  Ed.WindowTop = int16_t(n);
  Ed.CurLine = int16_t(std::clamp(n + row - 3, 1, int(Txt.LineCount)));
  Txt.LineSaved = false;
}

void CmdTopOrBottomOfScreen() {
  if (Ed.CurLine > Ed.WindowTop) Ed.CurLine = Ed.WindowTop;
  else Ed.CurLine = int16_t(std::min<int>(Ed.WindowTop + Ed.PageLines, Txt.LineCount));
  Txt.LineSaved = false;
}

void CmdMakeTop() { Ed.WindowTop = Ed.CurLine; }

void CmdScrollUp() {
  if (Ed.WindowTop < Txt.LineCount && Ed.WindowTop < Ed.CurLine) ++Ed.WindowTop;
}

void CmdScrollDown() {
  if (Ed.WindowTop > 1 && ScreenRow() < Scr.ScreenHeight) --Ed.WindowTop;
}

void CmdGoToLine() {
  for (;;) {
    DrawMessage(InBuildSet("     Введите номер строки:"));
    const PromptResult typed = PromptLine(PromptKind::Other);
    const std::string& answer = typed.Text;
    if (!typed.Accepted() || answer.empty()) return;
    char* end = nullptr;
    long n = std::strtol(answer.c_str(), &end, 10);
    if (end == answer.c_str() || *end != '\0') continue;  // not a number: ask again
    if (n < 1 || n > Txt.LineCount || n == Ed.CurLine) return;
    PushPosition();
    Jump(int16_t(n), int16_t(n), 0);
    return;
  }
}

void CmdMarkLine(int k) { Ed.LineMarks[size_t(k - 1)] = Ed.CurLine; }

void CmdGoToLineMark(int k) {
  int16_t mark = Ed.LineMarks[size_t(k - 1)];
  if (mark == 0) {
    ShowMessage(InBuildSet("Нет такой пометки!"), 1);
    return;
  }
  PushPosition();
  if (mark != Ed.CurLine) Jump(mark, mark, 0);
}

void CmdMarkPosition(int k) {
  Ed.PositionMarks[size_t(k - 1)] = {Ed.CurLine, Ed.WindowTop, uint8_t(std::clamp(Ed.CurCol, 0, 255))};
}

void CmdGoToPosition(int k) {
  const PositionMark& p = Ed.PositionMarks[size_t(k - 1)];
  if (p.Line == 0) {
    ShowMessage(InBuildSet("Нет такой пометки!"), 1);
    return;
  }
  PushPosition();
  Jump(p.Line, p.Top, p.Column);
}

void CmdMarkColumn() { Ed.ColumnMark = uint8_t(std::clamp(Ed.CurCol, 1, 255)); }

void CmdGoToColumnMark() { Ed.CurCol = std::max<int>(1, Ed.ColumnMark); }

void CmdGetBack() {
  PositionMark e = Ed.PositionHistory[Ed.HistoryIndex];
  if (e.Column != 0 && e.Line >= 1 && e.Line <= Txt.LineCount) {
    PushPosition();
    Ed.HistoryIndex = uint8_t((Ed.HistoryIndex + 15) % 16);
    Jump(e.Line, e.Top, e.Column);
  }
  Ed.HistoryIndex = uint8_t((Ed.HistoryIndex + 15) % 16);
}

void CmdRestoreAsOnEntry() { RestoreLineAsOnEntry(Ed.CurLine); }

void CmdRestoreNextLine() { InsertNextSavedLine(Ed.CurLine); }

void CmdUndoLastChange() {
  if (!Txt.LineSaved) return;
  const LoopState::Snapshot& other = Loop.LineSnapshot[size_t(1 - Loop.Selector)];
  StoreLine(other.Line, Ed.CurLine);
  Ed.CurCol = std::clamp(other.Column, 1, MaxLineBytes);
}

void CmdUndoTakeFile() {
  if (Insert.InsertedLast >= Ed.CurLine + 1) {
    int count = Insert.InsertedLast - Ed.CurLine;
    for (int i = 0; i < count && Ed.CurLine + 1 <= Txt.LineCount; ++i) {
      int16_t n = int16_t(Ed.CurLine + 1);
      DeleteLine(n);
    }
  }
  Insert.InsertedLast = 0;
}

void CmdCharCase(bool upper) {
  std::string line = LineString(Ed.CurLine);
  if (Ed.CurCol < 1 || size_t(Ed.CurCol) > line.size()) return;
  SaveLineForUndo(Ed.CurLine);
  uint8_t& c = reinterpret_cast<uint8_t&>(line[size_t(Ed.CurCol - 1)]);
  c = upper ? UpCaseChar(c) : LowCaseChar(c);
  StoreLine(line, Ed.CurLine);
  Txt.Modified = true;
}

void CmdAlignRight() {
  int v = TrimmedLength(LineBytes(Ed.CurLine));
  if (Txt.LineWidth > 132 || v >= Txt.LineWidth + 1) return;
  bool insert = Ed.InsertMode;
  Ed.InsertMode = true;
  SetIndentation(Txt.LineWidth - v + 1);
  Ed.InsertMode = insert;
}

void CmdShowKeyBytes() {
  GetKey();
  char buf[9];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X", KeyFlags(), KeyShift(), KeyScan(), KeyChar());
  std::string line = LineString(Ed.CurLine);
  size_t at = size_t(std::max(Ed.CurCol, 1) - 1);
  if (line.size() < at) line.resize(at, ' ');
  line.insert(at, buf);
  if (line.size() > size_t(MaxLineBytes)) line.resize(size_t(MaxLineBytes));
  SaveLineForUndo(Ed.CurLine);
  StoreLine(line, Ed.CurLine);
  Ed.CurCol = std::min<int>(Ed.CurCol + 8, MaxLineBytes);
}

void RunSecondEditor(const std::string& file) {
  AskKeyDefsSave();
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return;
  self[n] = '\0';
  std::vector<std::string> args;
  args.push_back(self);
  for (size_t i = 0; i + 1 < Loop.Arguments.size(); ++i) args.push_back(Loop.Arguments[i]);
  args.push_back(file);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  if (Term) Term->Suspend(true);
  pid_t pid = fork();
  if (pid == 0) {
    execv(self, argv.data());
    _exit(127);
  }
  if (pid > 0) {
    int status = 0;
    // A closing signal is passed on to the second editor, which ends by its
    // own emergency path; this one then ends by the next wait for a key.
    bool passedOn = false;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      if (ClosingSignal != 0 && !passedOn) {
        kill(pid, ClosingSignal);
        passedOn = true;
      }
    }
  }
  if (Term) Term->Suspend(false);
  // The second editor may have changed the editor's own data files.
  const std::string base = file.substr(file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1);
  if (base == "keydef.vsk") KeyDefFileIO(DataFileAction::LoadAtStart);
  if (base == "shorts.vsk") LoadShorts();
  ClearScreenCells();
  ClearMessageLine();
}

void CmdHelp() {
  std::string full;
  const std::string name = HelpFileName(CurrentBuild());
  if (!FindDataFile(name, full)) {
    ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
    return;
  }
  RunSecondEditor(full);
}

void CmdEditAnotherFile() {
  std::string name = Loop.OtherFileName.empty() ? Ed.KeyDefFileName : Loop.OtherFileName;
  if (!AskFileName(name, FileNameUse::Any)) return;
  Loop.OtherFileName = name;
  std::string full;
  RunSecondEditor(FindDataFile(name, full, true) ? full : name);
}

void CmdQuitAtOnce() { throw ProgramExit{0}; }
