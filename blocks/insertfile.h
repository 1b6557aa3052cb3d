// Taking another text file into the text: its lines go after the cursor
// line, and "undo take file" (the main loop's) removes them again while no
// other command came in between.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t MaxInsertFileName = 63;

struct InsertFileState {
  std::string InsertFileName;  // the name last taken; empty at start-up
  int16_t InsertedLast = 0;    // last line of the latest taken file
};
extern InsertFileState Insert;

void ResetInsertFile();

// Shift+F1 and the file menu's "Взять файл": asks for the file (offering
// the name last used, at first the edited file's) and inserts its lines
// after the cursor line.  Insert.InsertedLast names the last line inserted
// (the cursor line when none was).
void TakeFile();

// Inserts the lines read from fd after line `after`, as TakeFile does, up to
// the line limit or until memory runs out.  Returns the last line inserted
// (`after` when none was); cut counts the lines that hold more than 255
// bytes before their trailing blanks (with one of them, no line is
// inserted), and readError tells that the file could not be read to its end.
// With utf8 the file is UTF-8 and its lines are converted into the internal
// set.
int16_t InsertLinesFrom(int fd, int16_t after, int& cut, bool& readError, bool utf8 = false);
