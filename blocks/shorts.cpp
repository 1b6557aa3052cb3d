#include "blocks/shorts.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/limits.h"
#include "builds/bindings.h"
#include "base/safefile.h"
#include "base/state.h"
#include "edit/typing.h"
#include "edit/words.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/messages.h"
#include "text/savefile.h"
#include "text/status.h"

ShortsState Shorts;

namespace {

const char* const ShortsFileName = "shorts.vsk";
constexpr char Bel = 7;
constexpr char Backspace = 8;
// The file holds at most 200 short lines worth keeping; reading gives up
// after this much, so that a huge file found by mistake cannot stall.
constexpr off_t MaxShortsFileBytes = off_t(16) << 20;

void FreeLists() {
  for (auto* list : {&Shorts.ContinuationLines, &Shorts.Abbreviations}) {
    for (const std::string& s : *list) HeapGive(s.size() + 1);
    list->clear();
  }
}

// ---- Continuations ----

// Where an offer leaves the search.
enum class Answer {
  End,     // accepted, cancelled, or another key came: the search is over
  Reject,  // Backspace: the next occurrence in this line (next entry in the list)
  Next,    // the next entry or line, in the direction now set
};

struct Search {
  std::string Prefix;
  int Direction = 0;  // 0, 1, 2 or 4: see Offer
  int CasePass = 0;   // 1: prefix and lines compared in upper case
  bool Shown = false;
};

bool IsKey(Cmd c) {
  const Binding* b = FindBinding(CurrentBuild(), Kbd.KeyEvent);
  return b != nullptr && b->Command == c;
}

// Offers ContinuationSource from position p, whose rest q .. e - 1 would be
// typed, and acts on the answer.  index is the list position or the line
// number shown beside it.
Answer Offer(Search& s, int p, int q, int e, int index) {
  const std::string src = Shorts.ContinuationSource;
  s.Shown = true;
  ShowMessage(InBuildSet(" Подходящая строка: "), 22);
  const int length = std::min(int(s.Prefix.size()) + int(TrimmedLength(src)) - q + 1, 53);
  if (length > 0 && p >= 1 && size_t(p) <= src.size()) PutStringAt(22, 2, src.substr(size_t(p - 1), size_t(length)), 0x1E);
  char number[16];
  std::snprintf(number, sizeof number, "%5d", index);
  PutStringAt(76, 2, number, uint8_t(0x10 + s.Direction + s.CasePass));
  FlushScreen(false);
  GetKey();
  DrawStatusLine();

  if (IsKey(Cmd::Enter)) {
    TypeString(std::string_view(src).substr(size_t(q - 1), size_t(e - q)));
    Shorts.PendingContinuation = uint16_t(e);
    return Answer::End;
  }
  if (IsKey(Cmd::Continuation)) {
    TypeChar(uint8_t(src[size_t(q - 1)]));
    Shorts.PendingContinuation = uint16_t(q + 1);
    return Answer::End;
  }
  if (IsKey(Cmd::Escape)) return Answer::End;
  if (IsKey(Cmd::Backspace)) return Answer::Reject;
  // Up and Down turn the search: with Down it walks the other way (from
  // going up to going down, or back up after it turned down at the top);
  // Up undoes that.
  if (IsKey(Cmd::CursorUp)) {
    if (s.Direction == 1) s.Direction = 2;
    else if (s.Direction == 4) s.Direction = 0;
    else return Answer::Reject;
    return Answer::Next;
  }
  if (IsKey(Cmd::CursorDown)) {
    if (s.Direction == 0) s.Direction = 4;
    else if (s.Direction == 2) s.Direction = 1;
    return Answer::Next;
  }
  Shorts.KeyWaiting = true;
  Shorts.WaitingKey = Kbd.KeyEvent;
  return Answer::End;
}

// The stored continuation lines that begin with the prefix and go on
// beyond it.  True when an offer ended the search.
bool ListPass(Search& s) {
  const size_t L = s.Prefix.size();
  s.Direction = 0;
  int index = 1;
  while (index >= 1 && index <= int(Shorts.ContinuationLines.size())) {
    const std::string& entry = Shorts.ContinuationLines[size_t(index - 1)];
    if (entry.size() > L && entry.compare(0, L, s.Prefix) == 0) {
      Shorts.ContinuationSource = entry;
      const int e = int(Shorts.ContinuationSource.size()) + 1;
      if (Offer(s, 1, int(L) + 1, e, index) == Answer::End) return true;
    }
    index += s.Direction == 0 ? 1 : -1;
  }
  return false;
}

// Searches text line n for words that begin with the prefix.  True when an
// offer ended the search; false when the line has nothing more (or the user
// moved on).
bool SearchLine(Search& s, int n) {
  std::string src = LineString(n);
  // The word being typed must not offer itself: the character under the
  // cursor counts as a blank, which ends that word at the cursor.
  if (n == Ed.CurLine && Ed.CurCol >= 1 && size_t(Ed.CurCol) <= src.size()) src[size_t(Ed.CurCol - 1)] = ' ';
  // The copy that is searched; occurrences already passed over get their
  // first character replaced, so that the next search finds the next one.
  std::string look = src;
  if (s.CasePass == 1) UpCaseStr(look);
  const int L = int(s.Prefix.size());
  const bool national = uint8_t(s.Prefix[0]) >= 128;
  size_t from = 0;
  for (;;) {
    const size_t at = look.find(s.Prefix, from);
    if (at == std::string::npos) return false;
    const int p = int(at) + 1;
    bool fits = p == 1 || uint8_t(look[at - 1]) <= 41 || IsDelimiter(uint8_t(look[at - 1]));
    // e: the first blank from p on (or the end of the line); the word must
    // be at least three characters long.
    const size_t blank = look.find(' ', at);
    int e = blank == std::string::npos ? int(look.size()) : int(blank) + 1;
    const int q = p + L;
    if (fits && e > p + 2) {
      // The last two letters of a Russian word are its ending: they are
      // left for the user (one, when two would leave nothing).
      if (national) e -= q < e - 2 ? 2 : 1;
      fits = q < e;
    } else {
      fits = false;
    }
    if (fits) {
      Shorts.ContinuationSource = src;
      const Answer a = Offer(s, p, q, e, n);
      if (a == Answer::End) return true;
      if (a == Answer::Next) return false;
    }
    look[at] = char(0xB2);
    from = at + 1;
  }
}

// The words of the text: from the cursor line up to the first line, then
// down from the line below the cursor to the last; then all of it once more
// ignoring case.  True when an offer ended the search.
bool TextPass(Search& s) {
  for (s.CasePass = 0; s.CasePass <= 1; ++s.CasePass) {
    if (s.CasePass == 1) UpCaseStr(s.Prefix);
    s.Direction = 0;
    int line = Ed.CurLine;
    while (line <= Txt.LineCount) {
      if (line >= 1 && SearchLine(s, line)) return true;
      line += s.Direction < 2 ? -1 : 1;
      if (line <= 0) {
        s.Direction = 2;
        line = Ed.CurLine + 1;
      }
    }
  }
  return false;
}

}  // namespace

void ResetShorts() {
  FreeLists();
  Shorts = ShortsState{};
}

bool LoadShortsFrom(const std::string& path) {
  FreeLists();
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  auto reader = std::make_unique<LineReader>(fd);
  std::string line;
  bool cut = false;
  while (reader->Next(line, cut)) {
    if (LargestFreeBlock() <= line.size()) break;
    auto& list = line.find(Bel) != std::string::npos ? Shorts.Abbreviations : Shorts.ContinuationLines;
    if (list.size() < MaxShortsEntries && HeapTake(line.size() + 1)) list.push_back(line);
    if (Shorts.Abbreviations.size() >= MaxShortsEntries && Shorts.ContinuationLines.size() >= MaxShortsEntries)
      break;
    if (lseek(fd, 0, SEEK_CUR) > MaxShortsFileBytes) break;
  }
  close(fd);
  return true;
}

bool LoadShorts() {
  std::string full;
  if (!FindDataFile(ShortsFileName, full)) return false;
  return LoadShortsFrom(full);
}

void RereadShorts() {
  if (LoadShorts()) ShowMessage(InBuildSet(" shorts.vsk - OK!"), 1);
  else ShowMessage(InBuildSet("Файл не найден: ") + ShortsFileName, 1);
}

bool ExpandAbbreviation() {
  // Only a Space typed on the keyboard, right after a character.
  if (KeyScan() == 0) return false;
  const std::string_view line = LineBytes(Ed.CurLine);
  const int before = Ed.CurCol - 1;
  if (before < 1 || size_t(before) > line.size() || line[size_t(before - 1)] == ' ') return false;
  std::string word;
  WordAtCursor(word, WordPart::ToCursor);
  if (word.empty()) return false;

  for (const std::string& entry : Shorts.Abbreviations) {
    const size_t bel = entry.find(Bel);
    if (bel == 0 || bel != word.size() || entry.compare(0, bel, word) != 0) continue;
    std::string expansion = entry.substr(bel + 1);
    if (!expansion.empty() && expansion.back() == Backspace) expansion.pop_back();
    else expansion += ' ';
    // The word goes; in overwrite mode the expansion covers it instead.
    const int n = std::min<int>(int(word.size()), Ed.CurCol - 1);
    SaveLineForUndo(Ed.CurLine);
    Ed.CurCol -= n;
    if (Ed.InsertMode) DeleteChars(Ed.CurLine, Ed.CurCol, n);
    TypeString(expansion);
    return true;
  }
  return false;
}

void ContinueWord() {
  uint16_t& pending = Shorts.PendingContinuation;
  Shorts.KeyWaiting = false;
  if (pending > 0) {
    if (pending <= Shorts.ContinuationSource.size()) {
      TypeChar(uint8_t(Shorts.ContinuationSource[size_t(pending - 1)]));
      ++pending;
      if (pending > MaxLineBytes) pending = 0;
      return;
    }
    pending = 0;
  }

  std::string word;
  WordAtCursor(word, WordPart::ToCursor);
  Search s;
  for (char c : word)
    if (uint8_t(c) > 41) s.Prefix += c;
  if (s.Prefix.empty()) return;

  if (!ListPass(s)) TextPass(s);
  if (s.Shown) ClearMessageLine();
  // An offer accepted at the very end of a full line leaves nothing to
  // continue with.
  if (pending > MaxLineBytes) pending = 0;
}

bool TakeKeyToRerun() {
  if (!Shorts.KeyWaiting) return false;
  Shorts.KeyWaiting = false;
  Kbd.KeyEvent = Shorts.WaitingKey;
  return true;
}
