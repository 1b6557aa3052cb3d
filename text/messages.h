// The message line (screen row 2): messages in colour, waiting for a key or
// standing until the row is cleared; at rest the fill pattern and the size
// of the line block.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "screen/cells.h"

// The editor's own texts are written in UTF-8 in the source; this gives
// them in the build's character set (characters it lacks become '?').
std::string InBuildSet(std::string_view utf8);

// wait 1: stays until a key is pressed (the key is left for the next
// reader, unless that reader is another waiting message: that one takes the
// key and waits for a new one); above 30: stays at most wait - 30 passes; 30: cleared at once;
// below 30 (0, 22): stands until something clears the row.  Each pass waits
// about a millisecond on the keyboard, so a waiting message costs no CPU.
void ShowMessage(std::string_view text, int wait);
void ClearMessageLine();
// Draws the text once as ShowMessage colours it (no waiting).
void DrawMessage(std::string_view text);

// The cell the idle message row is filled with: the editor's fill cell, its
// foreground bright while the line-length limit is off.
Cell MessageRowFill();
