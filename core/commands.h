// The commands the main loop carries out itself: editing keys, jumps,
// marks, the position history, restoring lines, help and a second editor.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// State of the main loop that the commands share.
struct LoopState {
  // Two snapshots of the cursor line, used alternately: the other one holds
  // the line as it was before the previous command (undo last change).
  struct Snapshot {
    std::string Line;
    int Column = 1;
  };
  std::array<Snapshot, 2> LineSnapshot;
  int Selector = 0;
  bool KeyDefinitionsOn = true;
  std::string OtherFileName;          // last name given to "edit another file"
  std::vector<std::string> Arguments; // the command line, for a second editor
  // What the last key did: the command it ran, or one of these.
  static constexpr int Typed = -1, Nothing = -2, KeyDefinition = -3;
  int LastCommand = Nothing;
};
extern LoopState Loop;

void ResetLoopState();

void CmdHome();
void CmdEnd();
void CmdTab();
void CmdBackTab();
void CmdEnter();
void CmdBackspace();
void CmdDelete();
void CmdToggleInsert();
void CmdDeleteLine();
void CmdEscape();
void CmdUp(bool shift);
void CmdDown(bool shift);
void CmdLinesUp(int count, bool shift);
void CmdLinesDown(int count, bool shift);
void CmdTopOfFile();
void CmdBottomOfFile();
void CmdTopOrBottomOfScreen();
void CmdMakeTop();
void CmdScrollUp();
void CmdScrollDown();
void CmdGoToLine();
void CmdMarkLine(int k);
void CmdGoToLineMark(int k);
void CmdMarkPosition(int k);
void CmdGoToPosition(int k);
void CmdMarkColumn();
void CmdGoToColumnMark();
void CmdGetBack();
void CmdRestoreAsOnEntry();
void CmdRestoreNextLine();
void CmdUndoLastChange();
void CmdUndoTakeFile();
void CmdCharCase(bool upper);
void CmdAlignRight();
void CmdShowKeyBytes();
void CmdHelp();
void CmdEditAnotherFile();
[[noreturn]] void CmdQuitAtOnce();

// Runs a second copy of the editor on the file (no shell is involved, so a
// name is only ever a name) and takes the terminal back afterwards.
void RunSecondEditor(const std::string& file);
