// The limits every part of the editor shares.
#pragma once

// The most bytes a line of the text may hold; also the longest string the
// prompt line edits and the last column the cursor may stand in.
constexpr int MaxLineBytes = 255;

// The short pause that says "no room for that" when a character or a change
// is refused, with no message.
constexpr int RefusalPauseMs = 777;
