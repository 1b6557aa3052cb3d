#include "text/linestore.h"

#include <algorithm>
#include <cstring>

#include "base/limits.h"
#include "base/state.h"
#include "text/heap.h"
#include "text/linepool.h"
#include "text/messages.h"

TextState Txt;

namespace {

// A line's block: its stored length, the number of bytes kept, then those
// bytes.  The stored bytes past the kept ones are blanks and take no
// memory, so a loaded line costs what its text costs; the budget still
// counts the stored length plus one, as a padded line would cost.
constexpr size_t Head = 2;

size_t BlockSize(size_t kept) { return kept + Head; }

// Whole stored lines are handed out from a ring of buffers: a view stays
// good until this many more lines have been read.  The block last read
// whole is remembered, so that reading it again while it is unchanged
// copies nothing.
constexpr size_t ViewRing = 64;
std::array<std::array<char, 256>, ViewRing> Views;
size_t NextView = 0;
const uint8_t* LastViewed = nullptr;

void Changed(const uint8_t* b) {
  if (b == LastViewed) LastViewed = nullptr;
}

// The length of bytes[0..len) without its trailing blanks; eight bytes at
// a time over the long runs of padding.
size_t KeptLength(const uint8_t* bytes, size_t len) {
  constexpr uint64_t Eight = 0x2020202020202020ull;
  while (len >= 8) {
    uint64_t w;
    std::memcpy(&w, bytes + len - 8, 8);
    if (w != Eight) break;
    len -= 8;
  }
  while (len > 0 && bytes[len - 1] == ' ') --len;
  return len;
}

// A block of stored length `length` holding the first bytes of `bytes`
// (at most `length` of them; its trailing blanks are not kept).
uint8_t* MakeBlock(uint8_t length, const uint8_t* bytes, size_t len) {
  const size_t kept = bytes == nullptr ? 0 : KeptLength(bytes, std::min<size_t>(len, length));
  uint8_t* b = TakeLineBlock(BlockSize(kept));
  b[0] = length;
  b[1] = uint8_t(kept);
  if (kept > 0) std::memcpy(b + Head, bytes, kept);
  return b;
}

uint8_t* NewBlock(uint8_t length) { return MakeBlock(length, nullptr, 0); }

// New contents for a block, in place when they fit its size class.
void RefillBlock(uint8_t*& b, uint8_t length, const uint8_t* bytes, size_t len) {
  const size_t kept = KeptLength(bytes, std::min<size_t>(len, length));
  if (LineBlockCapacity(BlockSize(kept)) != LineBlockCapacity(BlockSize(b[1]))) {
    uint8_t* nb = TakeLineBlock(BlockSize(kept));
    Changed(b);
    GiveLineBlock(b, BlockSize(b[1]));
    b = nb;
  }
  Changed(b);
  b[0] = length;
  b[1] = uint8_t(kept);
  if (kept > 0) std::memmove(b + Head, bytes, kept);
}

void FreeBlock(uint8_t*& b) {
  if (b == nullptr) return;
  HeapGive(size_t(b[0]) + 1);
  Changed(b);
  GiveLineBlock(b, BlockSize(b[1]));
  b = nullptr;
}

bool ValidLine(int n) { return n >= 0 && n <= Txt.LineCount && size_t(n) < Txt.LineTable.size() && Txt.LineTable[size_t(n)]; }

void RefuseInsertion(const char* utf8, int16_t& n) {
  ShowMessage(InBuildSet(utf8), 1);
  --n;
}

}  // namespace

namespace {
// Gives back every line, the work line and the table.
void FreeStore() {
  if (Txt.LineTable.empty()) return;
  for (int i = Txt.LineCount; i >= 1; --i) FreeBlock(Txt.LineTable[size_t(i)]);
  if (Txt.LineTable[StatusRowEntry]) {
    delete[] Txt.LineTable[StatusRowEntry];
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
  Txt.LineTable[StatusRowEntry] = new uint8_t[WorkLineBytes]();
  Txt.UndoIndex = 255;
  Txt.LineSaved = false;
  Txt.LineCount = 0;
  SetLineWidth(Txt.LineWidth);
  return true;
}

void SetLineWidth(uint8_t width) {
  Txt.LineWidth = width;
  std::memset(Txt.Blanks.data() + 1, ' ', MaxLineBytes);
  Txt.Blanks[0] = width;
}

std::string_view LineBytes(int n) {
  if (!ValidLine(n)) return {};
  const uint8_t* b = Txt.LineTable[size_t(n)];
  if (n == 0) return std::string_view(reinterpret_cast<const char*>(b + 1), b[0]);
  if (b[1] == b[0]) return std::string_view(reinterpret_cast<const char*>(b + Head), b[0]);
  if (b == LastViewed) return std::string_view(Views[(NextView + ViewRing - 1) % ViewRing].data(), b[0]);
  LastViewed = b;
  auto& v = Views[NextView];
  NextView = (NextView + 1) % ViewRing;
  std::memcpy(v.data(), b + Head, b[1]);
  std::memset(v.data() + b[1], ' ', size_t(b[0] - b[1]));
  return std::string_view(v.data(), b[0]);
}

std::string_view LineText(int n) {
  if (!ValidLine(n)) return {};
  const uint8_t* b = Txt.LineTable[size_t(n)];
  if (n == 0) return std::string_view(reinterpret_cast<const char*>(b + 1), b[0]);
  return std::string_view(reinterpret_cast<const char*>(b + Head), b[1]);
}

void MapLineBytes(int n, const std::array<uint8_t, 256>& map) {
  if (n < 1 || !ValidLine(n)) return;
  uint8_t*& b = Txt.LineTable[size_t(n)];
  Changed(b);
  if (map[' '] == ' ') {
    for (size_t i = 0; i < b[1]; ++i) b[Head + i] = map[b[Head + i]];
    return;
  }
  std::array<uint8_t, 256> t;
  std::memcpy(t.data(), LineBytes(n).data(), b[0]);
  for (size_t i = 0; i < b[0]; ++i) t[i] = map[t[i]];
  RefillBlock(b, b[0], t.data(), b[0]);
}

uint8_t StoredLength(int n) { return ValidLine(n) ? Txt.LineTable[size_t(n)][0] : 0; }

std::string LineString(int n) { return std::string(LineBytes(n)); }

uint8_t TrimmedLength(std::string_view s) {
  // Blanks are passed over, and so is a trailing line-colour mark: a TAB
  // after a control byte, with one more control byte before them when
  // there is one (the caller's text is not changed).
  const uint8_t* t = reinterpret_cast<const uint8_t*>(s.data());  // byte i is t[i - 1]
  size_t i = std::min<size_t>(s.size(), MaxLineBytes);
  for (;;) {
    i = KeptLength(t, i);
    if (i > 1 && t[i - 1] == 9 && t[i - 2] < 32) {
      i -= i > 2 && t[i - 3] < 32 ? 3 : 2;
      continue;
    }
    return uint8_t(i);
  }
}

bool InsertLine(uint8_t width, int16_t& n) {
  if (Txt.LineCount >= MaxLines) {
    RefuseInsertion("СЛИШКОМ МНОГО СТРОК! НЕ ЗАПИСЫВАЙТЕ ЭТОТ ФАЙЛ!", n);
    return false;
  }
  if (LargestFreeBlock() <= width || !HeapTake(size_t(width) + 1)) {
    RefuseInsertion("НЕ ХВАТАЕТ ПАМЯТИ!", n);
    return false;
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
  return true;
}

void StoreLine(std::string_view text, int n) {
  if (n < 1 || !ValidLine(n)) return;
  uint8_t*& block = Txt.LineTable[size_t(n)];
  const size_t stored = block[0];
  std::array<uint8_t, 256> t;
  std::memset(t.data(), ' ', t.size());
  size_t len = std::min<size_t>(text.size(), MaxLineBytes);
  std::memcpy(t.data(), text.data(), len);
  // The text is filled with blanks up to the stored length (and up to 255).
  size_t tlen = std::max(len, std::min<size_t>(stored, MaxLineBytes));
  uint8_t L = TrimmedLength(std::string_view(reinterpret_cast<const char*>(t.data()), tlen));
  size_t length = stored;
  if (L > stored) {
    if (LargestFreeBlock() <= L || !HeapTake(size_t(L) + 1)) return;  // memory short: unchanged
    HeapGive(stored + 1);
    length = L;
  }
  RefillBlock(block, uint8_t(length), t.data(), length);
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
    uint8_t*& b = Txt.LineTable[size_t(Ed.CurLine >= 1 && Ed.CurLine <= Txt.LineCount ? Ed.CurLine : 1)];
    RefillBlock(b, b[0], nullptr, 0);
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
  size_t len = std::min<size_t>(text.size(), MaxLineBytes);
  uint8_t w = uint8_t(std::max<size_t>(width, len));
  if (Txt.LineCount >= LineTableSize - 1) return false;
  if (!HeapTake(size_t(w) + 1)) return false;
  Txt.LineTable[size_t(++Txt.LineCount)] = MakeBlock(w, reinterpret_cast<const uint8_t*>(text.data()), len);
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
  if (InsertLine(uint8_t(slot.size()), at)) StoreLine(slot, at);
  Txt.UndoIndex = uint8_t(Txt.UndoIndex - 1);
}

std::vector<std::string> RingListing() {
  std::vector<std::string> out;
  for (int k = 16; k >= 1; --k) out.emplace_back(RingSlot((Txt.UndoIndex + k) % 16));
  return out;
}
