// Colour marks: short runs of control bytes inside a line that the text
// window reads as colours.  They are ordinary bytes of the line, so they are
// copied, moved, deleted and saved with the text.
//
//   to end of line   0 fg [bg]    before the first coloured character
//   to end of text   1 fg [bg]    before the first coloured character
//   word             2 fg [bg]    before the word
//   whole line       [bg] fg 9    right after the line's last non-blank
//
// bg (background 0..7, plus 8 for blinking) is left out when it is 0.
#pragma once

// Cmd::ColourMarking (and Cmd::WriteBlock when no line block is marked, and
// the main menu's "4 Цвета"): asks for the kind of mark, then either a
// control character, which is typed at the cursor, or the foreground, the
// background and blinking, and inserts the mark at the cursor line.  Does
// not read the key code that ran it; the pickers read the key that answered
// them (Enter takes the highlighted item, a digit or letter its number).
void ColourMark();
