// Start-up, command line, state file and exit.
#pragma once
#include <string>
#include <vector>

#include "builds/build.h"
#include "screen/cells.h"

// The whole program on the real terminal; it ends the process with the
// exit status (the declared result is never returned).
int RunEditor(const BuildConfig& build, int argc, char** argv);

// FillCell's default for the build.
Cell DefaultFillCell();

// Puts every piece of editor state back to a fresh start (tests use it
// between runs).  The terminal is not touched.
void ResetAllState();

// Start-up after the terminal is up: defaults, memory check, command line
// (args without the program name), start screen, loading, state file.
void StartEditor(const std::vector<std::string>& args);

// The switches of the command line: all arguments but the last, each
// followed by a blank.
void ScanSwitches(std::string s);

// The exit command: asks about saving a modified text, saves, writes the
// state file and ends the program.  Returns only when the user goes on
// editing.
void ExitEditor();

// Clears the screen and ends the program with the status (throws
// ProgramExit).
[[noreturn]] void EndProgram(int status);

// The state file: 16 decimal lines.
std::string StateFileText();
void ApplyStateFileText(const std::string& text);
void WriteStateFile();
void ReadStateFile();

// True when the text has changes that are on no disk.
bool UnsavedText();
// Writes the whole text to an emergency copy beside the file (name.save,
// name.save.1, ...), else under the file's name in $HOME, in $TMPDIR or in
// /tmp, created exclusively with mode 0600 and never through a link.
// Returns the name written, or empty when there was nothing to save or no
// place to save it.
std::string EmergencySave();
// s with its control bytes spelled as ^ and a letter (ESC as ^[), for
// printing names to a terminal.
std::string VisibleBytes(std::string_view s);
