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

// The first character of the clipboard file; a blank when it cannot be read
// (or is empty).
char ClipboardKind();

// Cmd::ClipboardCopy and Cmd::ClipboardCut share this entry: the marked
// block is written into the clipboard file, then deleted when Kbd.KeyEvent
// is CodeOf(CurrentBuild(), Cmd::ClipboardCut), otherwise unmarked.  When
// the file cannot be written the block stays as it is, marked.
void BlockToClipboard();

// Cmd::ClipboardPaste: the clipboard's block is typed in at the cursor (in
// insert mode, whatever the mode is), replacing a marked block of the same
// kind.  Any other first character pastes nothing.
void PasteClipboard();
