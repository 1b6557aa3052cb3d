// Cursor motion (extending: widening the block, as Shift with the keys does)
// and the commands that change whole lines.
#pragma once

#include "text/outcome.h"

// One column right (not past the line's stored length) or left.  Extending,
// the rectangular block grows or shrinks at the edge the cursor is on.
void CursorRight(bool extend);
void CursorLeft(bool extend);
// One line down or up; extending, the block grows or shrinks by a line.
// Down on the last line says so and waits for a key.
void CursorDown(bool extend);
void CursorUp(bool extend);
void PageUp();
void PageDown();

// A blank line after the cursor line; the cursor goes to it at IndentColumn.
Outcome InsertEmptyLine();
// A copy of the cursor line after it; the cursor goes to the copy.
Outcome DuplicateLine();
// The text from the cursor on goes to a new next line, indented to
// IndentColumn.  The cursor stays.  Refused at the line limit or when
// memory is short.
Outcome SplitLine();
// The next line's text (or as many of its words as fit in FormatWidth) is
// appended to the cursor line cut at the cursor.
void JoinLines();
// Moves the line's text so that its first non-blank stands in column target.
void SetIndentation(int target);
// Blanks the line from the cursor to its stored end.
void ClearToLineEnd();
// Deletes the word at the cursor, or the delimiters and blanks there.
void DeleteWord();
// Deletes the word left of the cursor.
void DeleteWordLeft(bool afterBlank);

// Deletes the character under the cursor (the rest of the line moves left,
// a blank fills the end); a one-line rectangular block right of the cursor
// on the cursor line moves left with its text.
void DeleteCharAtCursor();
