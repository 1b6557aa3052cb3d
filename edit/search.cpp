#include "edit/search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <utility>
#include <vector>

#include "base/keycodes.h"
#include "base/limits.h"
#include "builds/build.h"
#include "base/state.h"
#include "edit/linematch.h"
#include "edit/prompt.h"
#include "edit/typing.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"
#include "text/status.h"

SearchState Search;

void ResetSearchState() { Search = SearchState{}; }

namespace {


enum class FindResult { Found, NotFound, Cancelled };

// Attribute sets of Ask: most questions, and the two questions that set up
// a replace run.
int AskPlain(const std::string& q) {
  Q.AskSelection = 1;
  return Ask(q, "", 0x3F, 0x2F, 0x5F, 0x0D);
}
int AskSetup(const std::string& q) {
  Q.AskSelection = 1;
  return Ask(q, "", 0x4F, 0x5F, 0x1C, 0x6E);
}

bool HasLetters(std::string_view pattern) {
  std::string up(pattern), low(pattern);
  UpCaseStr(up);
  LowCaseStr(low);
  return up != pattern || low != pattern;
}

// The message row as a replace run's last clear left it, with what the
// clear depends on: a further clear that would write the same cells is
// left out, which saves a replace-all most of its time.
struct ClearedRow {
  std::vector<Cell> cells;
  Cell fill = 0;
  int blockSize = -1;
} Cleared;

int ShownBlockSize() { return Ed.BlockFirst > 0 ? Ed.BlockLast - Ed.BlockFirst + 1 : 0; }

std::pair<std::vector<Cell>::const_iterator, std::vector<Cell>::const_iterator> MessageRow() {
  const size_t w = Scr.ScreenWidth;
  if (Scr.ScreenCells.size() < 2 * w) return {Scr.ScreenCells.end(), Scr.ScreenCells.end()};
  return {Scr.ScreenCells.begin() + std::ptrdiff_t(w), Scr.ScreenCells.begin() + std::ptrdiff_t(2 * w)};
}

void ClearForMatch(FindFor what) {
  const auto [b, e] = MessageRow();
  if (what == FindFor::Replace && b != e && Cleared.fill == MessageRowFill() && Cleared.blockSize == ShownBlockSize() &&
      std::equal(b, e, Cleared.cells.begin(), Cleared.cells.end()))
    return;
  ClearMessageLine();
  const auto [b2, e2] = MessageRow();
  Cleared.cells.assign(b2, e2);
  Cleared.fill = MessageRowFill();
  Cleared.blockSize = ShownBlockSize();
}

void Match(int line, int col, bool otherLine, FindFor what) {
  Ed.CurLine = int16_t(line);
  Ed.WindowTop = int16_t(line);
  Ed.CurCol = col;
  if (otherLine) {
    Txt.LineSaved = false;
    Ed.HScroll = 0;
  }
  ClearForMatch(what);
}

void NotFound(FindFor what) {
  if (what == FindFor::Search) {
    ShowMessage(InBuildSet("Строка не найдена."), 1);
    return;
  }
  DrawTextWindow();
  // A batch stays quiet between its pairs; a run that left matches alone
  // says so instead when it ends.
  if (!Search.Batch && Search.TooLong == 0) ShowMessage(InBuildSet("Все замены осуществлены."), 1);
}

FindResult Find(std::string_view pattern, int startLine, int endLine, int startCol, FindFor what, int8_t& caseSetting) {
  const int count = Txt.LineCount;
  if (count < 1) {
    NotFound(what);
    return FindResult::NotFound;
  }
  startLine = std::clamp(startLine, 1, count);
  endLine = std::clamp(endLine, 1, count);
  const int step = endLine >= startLine ? 1 : -1;

  if (pattern.empty()) {
    for (int n = startLine; n != endLine;) {
      n += step;
      if (TrimmedLength(LineBytes(n)) == 0) {
        Match(n, Ed.IndentColumn, true, what);
        return FindResult::Found;
      }
    }
    NotFound(what);
    return FindResult::NotFound;
  }

  if (caseSetting == CaseUndecided && HasLetters(pattern)) {
    const int answer =
        AskPlain(InBuildSet("Величину букв игнорировать ? | 1 - да | 2 - нет | 3 или Esc - отказ от поиска |"));
    if (answer == 1) {
      caseSetting = CaseIgnore;
    } else if (answer == 2) {
      caseSetting = CaseMatch;
    } else {
      return FindResult::Cancelled;
    }
  }
  if (what == FindFor::Search) ShowMessage(InBuildSet("Идет поиск строки ") + std::string(pattern), 0);

  std::string pat(pattern);
  if (caseSetting > 0) UpCaseStr(pat);

  // The start line: after the cursor forwards, before it upwards.
  const std::string_view first = LineBytes(startLine);
  startCol = std::clamp(startCol, 0, MaxLineBytes + 1);
  if (step > 0) {
    if (size_t(startCol) < first.size()) {
      if (int p = FindInLine(pat, first.substr(size_t(startCol)), caseSetting)) {
        Match(startLine, p + startCol, false, what);
        return FindResult::Found;
      }
    }
  } else {
    const size_t keep = startCol >= 1 ? std::min(first.size(), size_t(startCol - 1)) : 0;
    if (int p = FindInLine(pat, first.substr(0, keep), caseSetting)) {
      Match(startLine, p, false, what);
      return FindResult::Found;
    }
  }
  const LineMatcher matcher(pat, caseSetting > 0);
  for (int n = startLine; n != endLine;) {
    n += step;
    if (int p = matcher.In(n)) {
      Match(n, p, true, what);
      return FindResult::Found;
    }
  }
  NotFound(what);
  return FindResult::NotFound;
}

// The direction of the search commands (see the header).
bool Upwards() { return Q.AskSelection == UpwardsMark; }
void SetDirection(bool up) { Q.AskSelection = up ? UpwardsMark : 1; }

// From the position-history push on: the quick-search string with its case
// setting, from the top of the text when fromTop.
void QuickSearch(bool fromTop) {
  const bool up = Upwards();
  PushPosition();
  const int16_t line = Ed.CurLine;
  const int col = Ed.CurCol;
  if (fromTop) {
    Ed.CurLine = 1;
    Ed.CurCol = 0;
  }
  FindString(Ed.SearchString, Ed.CurLine, up ? 1 : Txt.LineCount, Ed.CurCol, FindFor::Search, Prompt.QuickSearchCase);
  if (Ed.CurCol == 0) {  // from the top and nothing found
    Ed.CurLine = line;
    Ed.CurCol = col;
  }
}

// Asks for the quick-search string and searches with the case setting.
void PromptAndSearch(int8_t caseSetting) {
  const PromptResult typed = PromptLine(PromptKind::Search, Ed.SearchString);
  Ed.SearchString = typed.Text;
  if (typed.End == PromptEnd::IntoText) {
    TypeString(Ed.SearchString);
    return;
  }
  if (!typed.Accepted()) return;
  Prompt.QuickSearchCase = caseSetting;
  QuickSearch(typed.End == PromptEnd::AcceptedFromTop);
}

// One replacement: the match at the cursor becomes the replacement,
// typed so that line breaking applies; the next search starts after it.  A
// replacement that typing could not make without losing text (a line that
// would pass 255 bytes, a character with no place to break the line) is not
// made: the match stays as it is (the search goes on after its first
// character) and the run reports it at its end.
void ReplaceAtCursor() {
  const int line = Ed.CurLine, col = Ed.CurCol;
  const int len = int(Search.ReplaceSearchString.size());
  const std::string& text = Search.ReplacementString;
  // Most replacements change nothing about the line's breaking and go in
  // in one step.
  if (text.empty()) {
    const std::string before(LineBytes(line));
    if (!Search.Splice || !SpliceAtCursor(len, text)) {
      SaveLineForUndo(line);
      DeleteChars(line, col, len);
    }
    // Blanks taken from the end of a line come back as its filling: when
    // the line is just as it was, the search goes on after the match.
    // Otherwise the text after the match has moved up to its place, and the
    // search starts there.
    Search.PrevShrank = LineBytes(line) != before;
    if (Search.PrevShrank) Ed.CurCol -= 1;
    return;
  }
  if (Search.Splice && SpliceAtCursor(len, text)) {
    Ed.CurCol -= 1;
    return;
  }
  // Breaking moves the cursor down at most a line a character, and touches
  // the line after the cursor's.
  TypingTrial trial(line, line + int(text.size()) + 2);
  SaveLineForUndo(line);
  DeleteChars(line, col, len);
  for (char ch : text) TypeChar(uint8_t(ch));
  if (trial.Lost()) {
    trial.Undo();
    ++Search.TooLong;
    return;
  }
  Ed.CurCol -= 1;
}

// The search of a replace run: true when the cursor stands on a match that the
// main loop is to ask about; false when the pair is done.
bool ReplaceMatches() {
  for (;;) {
    StopIfClosing();
    const int endLine = Search.InBlock ? Ed.BlockLast : Txt.LineCount;
    FindResult o;
    if (Search.InBlock && (Ed.BlockFirst < 1 || endLine < Ed.CurLine)) {
      // Line breaking carried the cursor past the block's last line.
      NotFound(FindFor::Replace);
      o = FindResult::NotFound;
    } else {
      o = Find(Search.ReplaceSearchString, Ed.CurLine, endLine, Ed.CurCol, FindFor::Replace, Search.ReplaceCase);
    }
    if (o == FindResult::Cancelled) Search.Cancelled = true;
    if (o != FindResult::Found) return false;
    // The next search starts after what a replacement typed, so a match
    // where the previous one stood means the run went round: it ends.  But
    // where a replacement took text out and typed nothing, the text after
    // it has moved up to the same place.
    if (Ed.CurLine == Search.PrevLine && Ed.CurCol == Search.PrevCol && !Search.PrevShrank) return false;
    Search.PrevLine = Ed.CurLine;
    Search.PrevCol = Ed.CurCol;
    Search.PrevShrank = false;
    if (Search.Confirm) return true;
    ReplaceAtCursor();
  }
}

// The start of one string's replacement: from the top of the text or block.
void BeginPair() {
  Search.PrevLine = 0;
  Search.PrevCol = 0;
  Search.PrevShrank = false;
  Ed.CurLine = Search.InBlock ? std::max<int16_t>(Ed.BlockFirst, 1) : int16_t(1);
  Ed.CurCol = 0;
  Txt.LineSaved = false;
  Search.SavedInsert = Ed.InsertMode;
  Ed.InsertMode = true;
}

// Back where the run started.
void RestorePosition() {
  const int16_t last = std::max<int16_t>(Txt.LineCount, 1);
  Ed.CurCol = Search.SavedCol;
  Ed.CurLine = std::clamp<int16_t>(Search.SavedLine, 1, last);
  Ed.WindowTop = std::clamp<int16_t>(Search.SavedTop, 1, last);
  Ed.InsertMode = Search.SavedInsert;
  Txt.LineSaved = false;
}

// One line of the pair file; LF, CR and CR LF end a line.  False at the end
// of the file.  Lines are cut to 255 bytes; a UTF-8 line is converted into
// the internal set first (a character takes at most 4 bytes, so 1,020 bytes
// always give more than 255).
bool ReadPairLine(std::istream& in, std::string& line, bool utf8, bool atStart) {
  line.clear();
  const size_t keep = utf8 ? size_t(MaxLineBytes) * 4 : size_t(MaxLineBytes);
  int ch = in.get();
  if (ch == std::char_traits<char>::eof()) return false;
  while (ch != std::char_traits<char>::eof() && ch != '\n' && ch != '\r') {
    if (line.size() < keep) line += char(ch);
    ch = in.get();
  }
  if (ch == '\r' && in.peek() == '\n') in.get();
  if (utf8) {
    line = Utf8ToInternal(line, atStart);
    if (line.size() > size_t(MaxLineBytes)) line.resize(size_t(MaxLineBytes));
  }
  return true;
}

// Whether the pair file is UTF-8 and what to do with it; the file is read
// through and put back at its start.
Utf8Verdict DetectPairFile(std::ifstream& in) {
  Utf8Detector d;
  std::vector<char> buf(65536);
  while (!d.Done()) {
    in.read(buf.data(), std::streamsize(buf.size()));
    const std::streamsize got = in.gcount();
    if (got > 0) d.Feed(std::string_view(buf.data(), size_t(got)));
    if (!in) break;
  }
  in.clear();
  in.seekg(0);
  return d.Finish();
}

// The next pair of the file into the replace strings; pairs whose search
// string is empty are passed over, as the replace command refuses one.
bool NextPair() {
  for (;;) {
    std::string first, second;
    const bool atStart = Search.PairFile.is_open() && Search.PairFile.tellg() == 0;
    if (!Search.PairFile.is_open() || !ReadPairLine(Search.PairFile, first, Search.PairUtf8, atStart)) return false;
    if (!ReadPairLine(Search.PairFile, second, Search.PairUtf8, false)) {
      ShowMessage(InBuildSet("Нечетное число строк в файле!"), 1);
      return false;
    }
    Search.ReplaceSearchString = Search.Reverse ? second : first;
    Search.ReplacementString = Search.Reverse ? first : second;
    if (!Search.ReplaceSearchString.empty()) return true;
  }
}

void EndRun() {
  if (Search.PairFile.is_open()) Search.PairFile.close();
  const bool report = Search.Running && Search.TooLong > 0;
  Search.Running = false;
  Search.QuestionPending = false;
  Search.Batch = false;
  if (report)
    ShowMessage(InBuildSet("Не все замены сделаны: строка стала бы длиннее 255 символов."), 1);
  Search.TooLong = 0;
}

// Runs the replacement until a match needs the question, or the run (and
// the batch) is over.
void Advance() {
  for (;;) {
    if (ReplaceMatches()) {
      Search.QuestionPending = true;
      return;
    }
    RestorePosition();
    if (!Search.Batch || Search.Cancelled || !NextPair()) break;
    BeginPair();
  }
  EndRun();
}

// A replace run: remember the position, ask for the scope and whether to
// confirm, and run.
void StartRun() {
  Search.SavedTop = Ed.WindowTop;
  Search.SavedLine = Ed.CurLine;
  Search.SavedCol = Ed.CurCol;
  Search.InBlock = false;
  if (Ed.BlockFirst > 0 && Ed.BlockLast >= Ed.BlockFirst) {
    const int scope =
        AskSetup(InBuildSet(" По всему файлу ? | 1 - да | 2 - по блоку строк | 3 или Esc - отказ от замены |"));
    if (scope == 2) Search.InBlock = true;
    else if (scope != 1) return EndRun();
  }
  const int confirm =
      AskSetup(InBuildSet(CurrentBuild().koi8r
                              ? " С подтверждением каждого ? | 1 - да | 2 - нет | 3 или Esc - отказ от замены |"
                              : " С подтверждением каждого ? | 1 - да | 2 нет | 3 или Esc - отказ от замены |"));
  if (confirm == 1) Search.Confirm = true;
  else if (confirm == 2) Search.Confirm = false;
  else return EndRun();
  Search.Running = true;
  Search.Cancelled = false;
  Search.TooLong = 0;
  BeginPair();
  Advance();
}

}  // namespace

int FindInLine(std::string_view pattern, std::string_view text, int8_t caseSetting) {
  if (pattern.empty() || pattern.size() > text.size()) return 0;
  if (caseSetting <= 0) {
    const size_t at = text.find(pattern);
    return at == std::string_view::npos ? 0 : int(at) + 1;
  }
  // The text compared in upper case where it stands, without a copy.  The
  // bytes that fold to the pattern's first one (a letter's two cases,
  // seldom more) are looked for with memchr, each from where it was last
  // seen, so no byte is looked at twice.
  const uint8_t* up = UpCaseTable();
  const uint8_t first = uint8_t(pattern[0]);
  const size_t last = text.size() - pattern.size();
  const auto matchesAt = [&](size_t i) {
    size_t j = 1;
    while (j < pattern.size() && up[uint8_t(text[i + j])] == uint8_t(pattern[j])) ++j;
    return j == pattern.size();
  };
  // The bytes are found once per table and first byte.
  static const uint8_t* foundFor = nullptr;
  static uint8_t foundFirst = 0;
  static std::array<uint8_t, 4> firsts{};
  static size_t kinds = 0;
  if (foundFor != up || foundFirst != first) {
    foundFor = up;
    foundFirst = first;
    kinds = 0;
    for (int b = 0; b < 256; ++b)
      if (up[b] == first) {
        if (kinds == firsts.size()) {
          kinds = 0;  // too many to look for one by one
          break;
        }
        firsts[kinds++] = uint8_t(b);
      }
  }
  if (kinds == 0) {
    for (size_t i = 0; i <= last; ++i)
      if (up[uint8_t(text[i])] == first && matchesAt(i)) return int(i) + 1;
    return 0;
  }
  const char* base = text.data();
  const size_t end = last + 1;  // candidates stand before this
  std::array<size_t, 4> next{};
  const auto seek = [&](size_t k, size_t from) {
    const void* p = from < end ? std::memchr(base + from, firsts[k], end - from) : nullptr;
    next[k] = p ? size_t(static_cast<const char*>(p) - base) : end;
  };
  for (size_t k = 0; k < kinds; ++k) seek(k, 0);
  for (;;) {
    size_t k = 0;
    for (size_t m = 1; m < kinds; ++m)
      if (next[m] < next[k]) k = m;
    const size_t i = next[k];
    if (i >= end) return 0;
    if (matchesAt(i)) return int(i) + 1;
    seek(k, i + 1);
  }
}

bool FindString(std::string_view pattern, int startLine, int endLine, int startCol, FindFor what,
                int8_t& caseSetting) {
  return Find(pattern, startLine, endLine, startCol, what, caseSetting) == FindResult::Found;
}

void SearchForward() {
  SetDirection(false);
  PromptAndSearch(CaseIgnore);
}

void SearchUp() {
  SetDirection(true);
  PromptAndSearch(CaseIgnore);
}

void SearchMatchCase() { PromptAndSearch(CaseMatch); }

void SearchMatchCaseUp() {
  SetDirection(true);
  PromptAndSearch(CaseMatch);
}

void SearchAgain() { QuickSearch(false); }

void NextEmptyLine() {
  Ed.SearchString.clear();
  SearchAgain();
}

void Replace() {
  if (Search.Running) return;
  Search.ReplaceCase = CaseUndecided;
  const PromptResult pattern = PromptLine(PromptKind::Search, Search.ReplaceSearchString);
  Search.ReplaceSearchString = pattern.Text;
  if (!pattern.Accepted() || Search.ReplaceSearchString.empty()) return;
  const PromptResult replacement = PromptLine(PromptKind::Replace, Search.ReplacementString);
  Search.ReplacementString = replacement.Text;
  if (!replacement.Accepted()) return;
  StartRun();
}

void ReplaceFromFile(bool reverse) {
  if (Search.Running) return;
  Search.ReplaceCase = CaseUndecided;
  std::string name = Search.PairFileName;
  if (!AskFileName(name, FileNameUse::Read)) return;
  Search.PairFileName = name;
  Search.PairFile = std::ifstream(name, std::ios::binary);
  if (!Search.PairFile.is_open()) {
    ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
    return;
  }
  // The pairs are text like any file that comes in: UTF-8 is converted when
  // nothing is lost, and left as it is (with a word why) otherwise.
  Search.PairUtf8 = false;
  if (Ed.AskRecodeOnLoad) {
    const Utf8Verdict v = DetectPairFile(Search.PairFile);
    Search.PairUtf8 = v.Form == Utf8Verdict::Convertible;
    ReportUnconverted(v, "файл замен взят без перекодировки");
  }
  Search.Reverse = reverse;
  Search.Batch = true;
  if (!NextPair()) return EndRun();
  StartRun();
}

bool ReplacePending() { return Search.QuestionPending; }

Outcome ContinueReplace() {
  if (!Search.QuestionPending) return Outcome::Done;
  Search.QuestionPending = false;
  switch (AskPlain(InBuildSet(" Менять ? | 1 - да | 2 - нет | 3 - все | 4 или Esc - отмена процесса |"))) {
    case 1: ReplaceAtCursor(); break;
    case 2: break;  // the next search starts after the match's first character
    case 3:
      Search.Confirm = false;
      ReplaceAtCursor();
      break;
    default:
      Search.Cancelled = true;
      RestorePosition();
      EndRun();
      return Outcome::Cancelled;
  }
  Advance();
  return Outcome::Done;
}
