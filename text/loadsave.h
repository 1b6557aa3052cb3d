// Reading the edited file into the line store.
#pragma once
#include <cstdint>
#include <string>

#include "text/codepage.h"

struct LoadState {
  uint8_t CompactReload = 0;  // set when the first pass ran out of memory
  int CutLines = 0;           // lines longer than 255 bytes that were cut
  bool ReadError = false;
  bool Empty = false;         // nothing was read: the text is one blank line
};
extern LoadState Load;

// Applies the file-name rules: a numeric extension 1..254 sets LineWidth and
// FormatWidth; "PAS", "INC", "PP", "DPR" switch on Pascal source mode.
// Returns true for Pascal source mode.
bool ApplyFileNameRules(const std::string& name);

// Fills the line store from Ed.FileName.  Returns false when the second,
// compact pass failed too (the program must end with status 2).
bool LoadFile();

// Splits a byte stream into lines: LF, CR and CR LF end a line; the last
// line needs no end; a line longer than 255 bytes keeps its first 255.
// With `utf8` the stream is UTF-8 (a byte-order mark at its start dropped)
// and is converted into the internal set before it is split, so that the
// 255 bytes are counted in the converted line.
class LineReader {
 public:
  explicit LineReader(int fd, bool utf8 = false) : Fd(fd), Utf8(utf8) {}
  // The next line, or false at the end of the file.
  bool Next(std::string& line, bool& cut);
  bool Failed() const { return Error; }
  // Whether the bytes the last Next cut off held anything but blanks.
  bool CutText() const { return TextCut; }
  // UTF-8 only: when set, reading ends before the first sequence that cannot
  // be converted, and *Strict tells what was met.
  Utf8Decoding* Strict = nullptr;

 private:
  bool Fill();
  bool ReadRaw(char* to, size_t room, size_t& got);
  int Fd;
  bool Utf8;
  char Buf[65536];
  size_t Pos = 0, End = 0;
  size_t LfAt = 0;  // the next LF at or after Pos, End when none: when LfKnown
  bool LfKnown = false;
  bool Eof = false, Error = false;
  bool TextCut = false;
  // UTF-8: the bytes read and not yet converted (a sequence cut by the end
  // of a read), and whether the start of the file is still to come.
  char Carry[4];
  size_t CarryLength = 0;
  bool AtStart = true;
};

// Reads the open file from its start to its end (or until it is plainly
// not UTF-8) and puts its offset back to the start.
Utf8Verdict DetectUtf8File(int fd);
