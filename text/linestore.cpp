#include "text/linestore.h"

#include <algorithm>
#include <cstring>

#include "core/state.h"
#include "text/heap.h"
#include "text/linepool.h"
#include "text/messages.h"

TextState Txt;

namespace {

uint8_t* NewBlock(uint8_t length) {
  uint8_t* b = TakeLineBlock(size_t(length) + 1);
  b[0] = length;
  std::memset(b + 1, ' ', length);
  return b;
}

void FreeBlock(uint8_t*& b) {
  if (b == nullptr) return;
  HeapGive(size_t(b[0]) + 1);
  GiveLineBlock(b, size_t(b[0]) + 1);
  b = nullptr;
}

bool ValidLine(int n) { return n >= 0 && n <= Txt.LineCount && size_t(n) < Txt.LineTable.size() && Txt.LineTable[size_t(n)]; }

void RefuseInsertion(const char* utf8, int16_t& n) {
  ShowMessage(InBuildSet(utf8), 1);
  Txt.Failed = 1;
  --n;
}

}  // namespace

namespace {
// Gives back every line, the work line and the table.
void FreeStore() {
  if (Txt.LineTable.empty()) return;
  for (int i = Txt.LineCount; i >= 1; --i) FreeBlock(Txt.LineTable[size_t(i)]);
  if (Txt.LineTable[0]) {
    delete[] Txt.LineTable[0];
    HeapGive(WorkLineBytes);
  }
  HeapGive(LineTableBytes);
  Txt.LineTable.clear();
  Txt.LineCount = 0;
}
}  // namespace

void ResetLineStore() {
  FreeStore();
  Txt = TextState{};
}

bool InitLineStore() {
  FreeStore();  // a second start-up begins afresh
  if (LargestFreeBlock() < LineTableBytes || !HeapTake(LineTableBytes)) return false;
  Txt.LineTable.assign(LineTableSize, nullptr);
  if (!HeapTake(WorkLineBytes)) return false;
  Txt.LineTable[0] = new uint8_t[WorkLineBytes]();
  Txt.UndoIndex = 255;
  Txt.LineSaved = false;
  Txt.LineCount = 0;
  SetLineWidth(Txt.LineWidth);
  return true;
}

void SetLineWidth(uint8_t width) {
  Txt.LineWidth = width;
  std::memset(Txt.Blanks.data() + 1, ' ', 255);
  Txt.Blanks[0] = width;
}

std::string_view LineBytes(int n) {
  if (!ValidLine(n)) return {};
  const uint8_t* b = Txt.LineTable[size_t(n)];
  return std::string_view(reinterpret_cast<const char*>(b + 1), b[0]);
}

uint8_t StoredLength(int n) { return ValidLine(n) ? Txt.LineTable[size_t(n)][0] : 0; }

std::string LineString(int n) { return std::string(LineBytes(n)); }

uint8_t TrimmedLength(std::string_view s) {
  size_t end = std::min<size_t>(s.size(), 255);
  // Lines end in long runs of blanks: eight at a time.
  constexpr uint64_t EightBlanks = 0x2020202020202020u;
  for (uint64_t w; end >= 8; end -= 8) {
    std::memcpy(&w, s.data() + end - 8, 8);
    if (w != EightBlanks) break;
  }
  while (end > 0 && s[end - 1] == ' ') --end;
  if (end == 0 || s[end - 1] != 9) return uint8_t(end);  // no colour mark at the end
  // Works on a copy: a trailing line-colour mark is blanked as it is passed.
  std::array<uint8_t, 256> t{};
  size_t len = std::min<size_t>(s.size(), 255);
  std::memcpy(t.data() + 1, s.data(), len);
  size_t i = len;
  while (i > 0) {
    if (t[i] == ' ') {
      --i;
      continue;
    }
    if (t[i] == 9 && i > 1 && t[i - 1] < 32) {
      t[i] = ' ';
      t[i - 1] = ' ';
      if (i > 2 && t[i - 2] < 32) t[i - 2] = ' ';
      continue;
    }
    break;
  }
  return uint8_t(i);
}

void InsertLine(uint8_t width, int16_t& n) {
  Txt.Failed = 0;
  if (Txt.LineCount >= MaxLines) {
    RefuseInsertion("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!", n);
    return;
  }
  if (LargestFreeBlock() <= width || !HeapTake(size_t(width) + 1)) {
    RefuseInsertion("НЕ ХВАТАЕТ ПАМЯТИ!", n);
    return;
  }
  // A line number outside the text goes to the nearest end.
  if (n < 1) n = 1;
  if (n > Txt.LineCount + 1) n = int16_t(Txt.LineCount + 1);
  ++Txt.LineCount;
  auto& t = Txt.LineTable;
  // Pointer arithmetic, not t[n + 1]: with a full table and n the last line
  // that index is one past the end, which operator[] must not be given.
  uint8_t** row = t.data() + n;
  std::memmove(row + 1, row, sizeof(uint8_t*) * size_t(Txt.LineCount - n));
  t[size_t(n)] = NewBlock(width);

  for (int16_t& m : Ed.LineMarks)
    if (m >= n) ++m;
  for (PositionMark& p : Ed.PositionMarks) {
    if (p.Line >= n) ++p.Line;
    if (p.Top >= n) ++p.Top;
  }
  if (Ed.CurLine > n) ++Ed.CurLine;
  Txt.Modified = true;
  for (int16_t* b : {&Ed.BlockFirst, &Ed.BlockLast, &Ed.RectFirst, &Ed.RectLast})
    if (*b >= n) ++*b;
}

void StoreLine(std::string_view text, int n) {
  if (n < 1 || !ValidLine(n)) return;
  uint8_t*& block = Txt.LineTable[size_t(n)];
  const size_t stored = block[0];
  std::array<uint8_t, 256> t;
  std::memset(t.data(), ' ', t.size());
  size_t len = std::min<size_t>(text.size(), 255);
  std::memcpy(t.data(), text.data(), len);
  // The text is filled with blanks up to the stored length (and up to 255).
  size_t tlen = std::max(len, std::min<size_t>(stored, 255));
  uint8_t L = TrimmedLength(std::string_view(reinterpret_cast<const char*>(t.data()), tlen));
  if (L > stored) {
    if (LargestFreeBlock() <= L || !HeapTake(size_t(L) + 1)) return;  // memory short: unchanged
    FreeBlock(block);
    block = NewBlock(L);
  }
  std::memcpy(block + 1, t.data(), block[0]);
}

void SaveLineForUndo(int n) {
  if (Txt.LineSaved) return;
  Txt.Modified = true;
  Txt.LineSaved = true;
  Txt.UndoIndex = uint8_t((Txt.UndoIndex + 1) % 16);  // 255 counts as 15, so slot 0 comes first
  auto& slot = Txt.UndoRing[Txt.UndoIndex];
  std::string_view s = LineBytes(n);
  slot[0] = uint8_t(s.size());
  std::memcpy(slot.data() + 1, s.data(), s.size());
}

void DeleteLine(int16_t& n) {
  if (n < 1 || n > Txt.LineCount) return;
  SaveLineForUndo(n);
  if (Txt.LineCount == 1) {
    Ed.CurCol = 1;
    uint8_t* b = Txt.LineTable[size_t(Ed.CurLine >= 1 && Ed.CurLine <= Txt.LineCount ? Ed.CurLine : 1)];
    std::memset(b + 1, ' ', b[0]);
    return;
  }
  auto& t = Txt.LineTable;
  FreeBlock(t[size_t(n)]);
  // As in InsertLine: n + 1 is one past the table's end when the full
  // table loses its last line.
  uint8_t** row = t.data() + n;
  std::memmove(row, row + 1, sizeof(uint8_t*) * size_t(Txt.LineCount - n));
  t[size_t(Txt.LineCount)] = nullptr;

  for (int16_t& m : Ed.LineMarks) {
    if (m > n) --m;
    else if (m == n) m = 0;
  }
  for (PositionMark& p : Ed.PositionMarks) {
    if (p.Line > n) --p.Line;
    else if (p.Line == n) p.Line = 0;
    if (p.Top > n) --p.Top;
  }
  if (Ed.BlockFirst > n) --Ed.BlockFirst;
  if (Ed.RectFirst > n) --Ed.RectFirst;
  if (Ed.BlockLast >= n) --Ed.BlockLast;
  if (Ed.RectLast >= n) --Ed.RectLast;

  --Txt.LineCount;
  if (n > Txt.LineCount) n = Txt.LineCount;
  Txt.LineSaved = false;
  if (n < Ed.CurLine) --Ed.CurLine;
  if (Ed.CurLine > Txt.LineCount) Ed.CurLine = Txt.LineCount;

  if (Ed.BlockLast < Ed.BlockFirst) Ed.BlockFirst = Ed.BlockLast = 0;
  if (Ed.RectLast < Ed.RectFirst) Ed.RectFirst = Ed.RectLast = 0;
}

bool AppendLine(std::string_view text, uint8_t width) {
  size_t len = std::min<size_t>(text.size(), 255);
  uint8_t w = uint8_t(std::max<size_t>(width, len));
  if (Txt.LineCount >= LineTableSize - 1) return false;
  if (!HeapTake(size_t(w) + 1)) return false;
  uint8_t* b = NewBlock(w);
  std::memcpy(b + 1, text.data(), len);
  Txt.LineTable[size_t(++Txt.LineCount)] = b;
  return true;
}

void FreeAllLines() {
  for (int i = Txt.LineCount; i >= 1; --i) FreeBlock(Txt.LineTable[size_t(i)]);
  Txt.LineCount = 0;
}

std::string_view RingSlot(int slot) {
  const auto& s = Txt.UndoRing[size_t(slot) % 16];
  return std::string_view(reinterpret_cast<const char*>(s.data() + 1), s[0]);
}

void RestoreLineAsOnEntry(int n) {
  if (!Txt.LineSaved) return;
  StoreLine(RingSlot(Txt.UndoIndex), n);
}

void InsertNextSavedLine(int16_t n) {
  Txt.UndoIndex = uint8_t(Txt.UndoIndex % 16);
  std::string slot(RingSlot(Txt.UndoIndex));
  int16_t at = n;
  InsertLine(uint8_t(slot.size()), at);
  if (Txt.Failed == 0) StoreLine(slot, at);
  Txt.UndoIndex = uint8_t(Txt.UndoIndex - 1);
}

std::vector<std::string> RingListing() {
  std::vector<std::string> out;
  for (int k = 16; k >= 1; --k) out.emplace_back(RingSlot((Txt.UndoIndex + k) % 16));
  return out;
}
