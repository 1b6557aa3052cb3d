// The table of lines: the whole text, its limits, the primitives that change
// it, the bookkeeping that keeps remembered line numbers on the same text,
// and the ring of sixteen saved lines.
//
// A stored line has a stored length: lines carry trailing blanks up to at
// least LineWidth, and TrimmedLength is what is visible.  The budget counts
// a line as its stored length plus one byte; the memory keeps only the
// bytes up to the last non-blank, the rest reads as blanks.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/linepool.h"

constexpr int LineTableSize = 24576;        // entries, entry 0 included
constexpr size_t LineTableBytes = 98304;    // what the table costs in the budget
constexpr size_t WorkLineBytes = 133;       // the bytes of the status-line row
// Entry 0 of the table is no line of the text: it is the row the status
// line is drawn into.
constexpr size_t StatusRowEntry = 0;

struct TextState {
  // Entry StatusRowEntry: the status-line row; 1..LineCount: the text.
  std::vector<uint8_t*, MappedAllocator<uint8_t*>> LineTable;
  int16_t LineCount = 0;
  uint8_t LineWidth = 254;
  std::array<uint8_t, 256> Blanks{};  // Blanks[0] is the length (LineWidth)
  bool Modified = false;
  bool LineSaved = false;
  std::array<std::array<uint8_t, 256>, 16> UndoRing{};
  uint8_t UndoIndex = 255;
};
extern TextState Txt;

// Frees every line and the table; the store is empty and unusable until
// InitLineStore.
void ResetLineStore();
// Allocates the table and the work line; false when the budget is too small.
bool InitLineStore();
void SetLineWidth(uint8_t width);  // LineWidth and the length of Blanks

// Reading lines.  n must be 0..LineCount; anything else reads as empty.
// The stored bytes (stored length).  The view stays good until the line
// changes or 64 more lines have been read with LineBytes.
std::string_view LineBytes(int n);
// The bytes the line keeps: the stored bytes less trailing blanks (some may
// be kept); the rest up to the stored length is blanks.  No copy: for
// scanning the whole text.
std::string_view LineText(int n);
// Every stored byte of line n through map, in place; the stored length
// stays.
void MapLineBytes(int n, const std::array<uint8_t, 256>& map);
uint8_t StoredLength(int n);
std::string LineString(int n);        // the stored bytes as a string

uint8_t TrimmedLength(std::string_view s);

// A blank line of the given width at n (clamped into 1..LineCount + 1; n
// says where it went).  False, with a message and n one less, at the line
// limit or when memory is short.
bool InsertLine(uint8_t width, int16_t& n);
void StoreLine(std::string_view text, int n);
void SaveLineForUndo(int n);
void DeleteLine(int16_t& n);

// Loading: appends a line of the given text, padded with blanks to width
// (or to the text's length when longer).  No limit checks: the loader makes
// them.  False when the budget has no room.
bool AppendLine(std::string_view text, uint8_t width);
// Frees lines 1..LineCount and sets LineCount to 0.
void FreeAllLines();

// The ring of saved lines.
std::string_view RingSlot(int slot);   // slot modulo 16
void RestoreLineAsOnEntry(int n);      // the newest slot into line n, when LineSaved
void InsertNextSavedLine(int16_t n);   // walks from the newest slot to older ones
// The sixteen slots, newest first.
std::vector<std::string> RingListing();
