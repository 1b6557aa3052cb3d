// Line and rectangular blocks: marking a rectangle to the line end, the
// whole line or word by word, and the block commands: copy to the cursor
// (keeping or dropping the marks), move, delete, shift a line block right or
// left, jump to the block, write a line block to a file.
//
// Every command works on the cursor, the block marks of Ed and the table of
// lines, and leaves the window to the next redraw.  Commands that change
// several lines check first that every changed line keeps its text within
// 255 bytes and that memory suffices, and change nothing otherwise.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "text/outcome.h"

struct BlockState {
  // The name last given to "write block"; it starts as the edited file's.
  std::string BlockFileName;
  bool BlockFileNameSet = false;
};
extern BlockState Blk;

void ResetBlockState();

enum class BlockKind { None, Lines, Rect };
// The marked block after putting its marks in order: line numbers within
// the text, columns within 1..255 (a block that cannot be repaired is
// unmarked).  A line block wins over a rectangular one.
BlockKind MarkedBlock();
// "Нет помеченного блока!" (waits for a key).
void ReportNoBlock();

// Types text at the cursor through TypeChar, as TypeString does, and
// returns how many of its characters the text took.  Typing stops at a
// refused character and after one typed into the last column (the next
// would push it out of the line); text left untyped that is not all
// blanks counts in Typing.Lost, so that a trial of typing sees it.  With pushed given, adds how far
// automatic line breaking pushed the text of the rectangle's first line to
// the right by putting words in front of it.
size_t TypeBlockText(std::string_view text, int* pushed = nullptr);

// Cmd::RectToLineEnd: a rectangle on the cursor line from the cursor column
// to one past the end of its text.
void MarkToLineEnd();
// Cmd::RectWholeLine: the same from the line's first non-blank column.
void MarkWholeLine();
// Ctrl+A in normal editing: the whole text as a line block.
void MarkAll();
// Cmd::WordRightShift and Cmd::WordLeftShift: the cursor goes to the next
// (previous) word start and the rectangle follows it, growing or shrinking
// at the edge the cursor is on.
void MarkWordRight();
void MarkWordLeft();

// Cmd::CopyBlock and Cmd::CopyBlockKeep share this entry: the marks are
// kept when keep, otherwise the block is unmarked after the copy.  Refused
// (without a block, on an overlap, at the limits) the block stays marked.
Outcome CopyBlock(bool keep);
// Cmd::MoveBlock.
Outcome MoveBlock();
// Cmd::DeleteBlock, and answer 1 of the Delete key's question when a block
// is marked.
Outcome DeleteBlock();
// Cmd::ShiftBlockRight and Cmd::ShiftBlockLeft share this entry.
Outcome ShiftBlock(bool right);
// Cmd::WhereIsBlock.
void WhereIsBlock();
// Cmd::WriteBlock.  With a line block marked: asks for a file name and
// writes the block's lines into it, appending to an existing file when
// append (the command always appends); returns true.  Without a line block nothing happens and the
// result is false: the key then runs colour marking.
bool WriteBlock(bool append);
