// The headless driver: runs the editor without a terminal.  A case gives a
// build, a text, switches and keys; the run gives back the text, the cursor,
// the screen cells, the files and the exit status.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "builds/build.h"
#include "screen/cells.h"
#include "screen/headless.h"

struct RunOptions {
  const BuildConfig* Build = &BuildKoi8;
  int Width = 80, Height = 25;
  // The file's content, in UTF-8 (written in the build's set) unless Raw.
  std::string Text;
  bool Raw = false;
  bool CreateFile = true;          // false: the file does not exist
  std::string FileName = "text.txt";
  std::vector<std::string> Switches = {"-w"};
  bool PrivateStateDir = true;     // state and saved-strings files in the case's folder
  // Keys in the symbolic notation ("<F2>", "<C-y>", "<A-w>", text), plus
  // "<#0008AD78>" for a raw key code.
  std::string Keys;
  std::vector<HeadlessTerminal::Input> ExtraInput;  // appended after Keys
  // More files in the case's folder before the run: name and raw content.
  std::vector<std::pair<std::string, std::string>> Files;
  bool InCaseDir = false;          // the case's folder is the current directory during the run
  bool EndOnWait = true;
};

struct RunResult {
  int ExitStatus = -1;      // -1: the keys ran out before the program ended
  int Signal = 0;           // the closing signal that ended the run, or 0
  int Pauses = 0;           // refusal pauses (a headless pause takes no time)
  std::string Dir;          // the case's folder, removed with the last copy of the result
  std::shared_ptr<void> KeepDir;
  std::string Path;         // the edited file
  std::vector<std::string> Lines;  // the text as it would be saved (build's set)
  int CurLine = 0, CurCol = 0;
  int Width = 0, Height = 0;
  std::vector<Cell> Cells;
  int CursorColumn = 0, CursorRow = 0;
  // Line block first, last; rectangle first and last line, first and last column (0: none).
  std::vector<int> Marks;
  // The message row (row 2, UTF-8, trailing blanks cut) each time the editor
  // waited for a key or paused with a message there, repeats left out.
  std::vector<std::string> Messages;

  // Row r (from 1) as UTF-8 text, trailing blanks kept.
  std::string Row(int r) const;
  Cell At(int column, int row) const;
  std::string FileContent() const;  // the edited file as it is on disk
};

// Key notation to the build's input (fails the test on bad notation).
std::vector<HeadlessTerminal::Input> KeysFor(const BuildConfig& b, const std::string& keys);

RunResult Drive(const RunOptions& o);

// UTF-8 to the build's set and back.
std::string ToSet(Charset set, const std::string& utf8);
std::string FromSet(Charset set, const std::string& bytes);
