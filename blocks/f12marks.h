// F12 marks: any number of lines can carry one, and F12 walks from one
// marked line to the next.  The mark is a blank and a 0 byte typed after the
// line's text; it is no change of the text, the text window draws such a
// line yellow on blue, and saving drops it (trailing 0 bytes are not
// written).
#pragma once
#include <string_view>

// A line is marked when its last counted character (TrimmedLength: a 0
// byte is not a blank) is 0.
bool LineMarkedF12(std::string_view line);

// Cmd::ToggleLineMark (Ctrl+F12, and "7 Д/ F12" of the marks menu): puts the
// mark on the cursor line or takes it off.  Modified, LineSaved, the cursor
// column and FillCell come out as they were.  Does not read the key code.
void ToggleLineMark();

// Cmd::NextMarkedLine (F12): the next marked line after the cursor line,
// going on from line 1 after the last line, becomes the cursor line and the
// window's top line; the position left goes onto the "Get back" history.
// Nothing happens when no other line is marked.  Does not read the key
// code.
void NextMarkedLine();
