// Writing the text back.
#pragma once
#include <sys/types.h>

#include <string>

#include "text/outcome.h"

// What the file-name dialogs read a name or a path with: the prompt line,
// which belongs to the editing floor and is handed over by the editor core
// (UseNameLine).  Given is false when the user gave up (Esc, Ctrl+P); Text
// is what stood on the line however it ended.
struct NameAnswer {
  std::string Text;
  bool Given = false;
};
using NameLine = NameAnswer (*)(std::string_view offered);
void UseNameLine(NameLine read);

// What saving does with the control bytes of a line.
enum class SaveMode : uint8_t {
  Plain,          // keeps them
  BlankControls,  // writes blanks instead
  SpellControls,  // spells them as "#" and the decimal code
};

// The bytes a line is written as: without its trailing blanks and NUL
// bytes, in the file's code page, followed by LF.
void AppendLineForSave(std::string& out, int n, SaveMode mode = SaveMode::Plain);
// Lines first..last as they are written to disk.
std::string TextForSave(int first, int last, SaveMode mode);
// The whole text, plain.
std::string TextForSave();

// The calls by which a save changes files, as a table: the tests replace
// entries to make one of them fail, or to stop the program at any of them.
struct SaveCallTable {
  ssize_t (*Write)(int fd, const void* data, size_t size);
  ssize_t (*Pwrite)(int fd, const void* data, size_t size, off_t at);
  int (*Fsync)(int fd);
  int (*Ftruncate)(int fd, off_t size);
  int (*Fallocate)(int fd, int mode, off_t at, off_t size);
  int (*Rename)(const char* from, const char* to);
  int (*Close)(int fd);
};
extern SaveCallTable SaveCalls;
// The system's own calls.
extern const SaveCallTable RealSaveCalls;

// True when the process may write into the existing file name, judged by
// the kernel itself (effective ids, mode bits, ACLs, read-only mounts,
// immutable files).
bool MayWriteFile(const std::string& name);

// Writes `content` into `path` without ever leaving a damaged file and
// without overriding what the file's permissions forbid: a file the process
// may not write is refused.  Normally a new file beside it is written and
// synced, given the old one's owner, group, permission bits, ACLs and
// extended attributes, and put in its place.  Where that new file could not
// carry all of them or could not take the old one's place (hard links, a
// directory that takes no new file, a sticky directory), the file is
// rewritten in place: the space is reserved first and a synced copy of the
// old content is kept until the new content is complete, so that a failure
// puts the old content back.  A symlink keeps pointing to the file it
// names, which is what gets written.  False on any failure, the old file
// whole.
bool WriteFileSafely(const std::string& path, const std::string& content);
// Where the old content of a file was left when a failed rewrite in place
// could not put it back (empty otherwise).
extern std::string KeptCopy;

// Writes lines first..last into path (safely) in the mode of
// AppendLineForSave, showing "Записывается " meanwhile; reports a failure.
bool WriteLines(int first, int last, const std::string& path, SaveMode mode);

// How AskFileName gets the name and checks the file.
enum class FileNameUse : uint8_t {
  Read,   // asks; the file must be readable, else asks again
  Write,  // asks; the file must be writable, else asks again
  Found,  // takes the name as given; the file must be readable
  Any,    // asks; no check
};
// Asks for a file name on the message row and checks the file.  False
// when the user gives up or a given name fails.
bool AskFileName(std::string& name, FileNameUse use);

// The save command: writes the text to Ed.FileName when it is modified
// (asking for a name when there is none, and for another one when writing
// fails), then the "{" and "}" variants.  Clears Modified only when the
// whole text reached the disk.  Cancelled when no name was given for it.
Outcome SaveFile();

// The whole text into another directory (asked for in the plain mode) or,
// in the other modes, under target.
void WriteToDirectory(SaveMode mode, const std::string& target = {});
// When FileName holds ch, the whole text under FileName without its first
// ch, in the given mode.
void WriteVariant(char ch, SaveMode mode);

// What is done with one of the editor's data files.
enum class DataFileAction : uint8_t {
  LoadAtStart,  // loaded at start-up when it is found, without asking
  Read,         // read again, asking for the name
  Write,        // written, asking for the name
};

// One of the editor's data files: the name as given, else (names of at most
// 12 characters) beside the program.  The file as given is passed over
// (and a waiting message says so, once) when another user owns it (root
// aside) or every user may write it, unless anyOwner: a file the user names
// to edit is the user's choice.
bool FindDataFile(const std::string& name, std::string& full, bool anyOwner = false);
std::string ProgramDirectory();
