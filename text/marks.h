// Removing the block marks.
#pragma once

// Clears the line block and the rectangular block with its columns.  When
// a line block was marked the message row is redrawn, so that its size
// disappears from the row.
void RemoveAllMarks();
// The Unmark command: clears the line block if one is marked, otherwise the
// rectangular block, then redraws the message row (which shows the size of
// a line block).
void UnmarkBlock();
