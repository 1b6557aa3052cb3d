// Reading the edited file into the line store.
#pragma once
#include <cstdint>
#include <string>

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
class LineReader {
 public:
  explicit LineReader(int fd) : Fd(fd) {}
  // The next line, or false at the end of the file.
  bool Next(std::string& line, bool& cut);
  bool Failed() const { return Error; }

 private:
  bool Fill();
  int Fd;
  char Buf[65536];
  size_t Pos = 0, End = 0;
  size_t LfAt = 0;  // the next LF at or after Pos, End when none: when LfKnown
  bool LfKnown = false;
  bool Eof = false, Error = false;
};
