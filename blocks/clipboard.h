// The clipboard is a file (Ed.ClipboardPath, "/tmp/VeskClip" by default),
// so it outlives the editor and is shared by every editor that uses the same
// path.  Its first line is "L" for a line block or "B" for a rectangular
// one; the block's lines follow.  A line block's lines lose their trailing
// blanks and each ends in LF; a rectangle's lines are exactly its width, an
// LF between them.  Bytes are in the build's character set.
//
// The file lies in shared ground: it is never reached through a symlink,
// never written when it belongs to another user, and created 0600.
#pragma once
#include <string>

#include "text/outcome.h"

// The first character of the clipboard file; a blank when it cannot be read
// (or is empty).
char ClipboardKind();

// Cmd::ClipboardCopy and Cmd::ClipboardCut share this entry: the marked
// block is written into the clipboard file, then deleted when cut,
// otherwise unmarked.  When the file cannot be written the block stays as
// it is, marked, and the result is Refused.
Outcome BlockToClipboard(bool cut);

// Cmd::ClipboardPaste: the clipboard's block is typed in at the cursor (in
// insert mode, whatever the mode is), replacing a marked block of the same
// kind.  Any other first character pastes nothing.  Refused, with nothing
// changed, when typing could not take all of it.
Outcome PasteClipboard();

struct PastedText;
// A bracketed paste from the terminal, typed in at the cursor as text (in
// insert mode, whatever the mode): '\n' starts a new line with the rest of
// the cursor line after it, not indented; tabs become blanks up to the next
// column 8k + 1.  Line breaking applies as to typing; where a line can take
// no more, the paste goes on in a new line, so nothing is lost unless the
// text can take no more lines.  The cursor line's old text is the one entry
// the paste puts into the ring of saved lines.  Returns the message (in the
// build's set) that counts the characters the set lacked (they came as '?')
// and any that were not pasted; empty when there are none.
std::string InsertPastedText(const PastedText& paste);
