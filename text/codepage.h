// The three Cyrillic code pages the editor meets: code page 866 ("ASCII" in
// the dialogues), KOI8-R ("KOI8") and Windows-1251 ("ANSI").  The text is
// kept in the build's internal set (KOI8-R in koi8r builds, 866 otherwise);
// a file that came in another set is recoded on loading and written back in
// its own set.  Also the case mapping of the internal set and the Russian
// typewriter layout of a US keyboard.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "builds/build.h"

// Three parallel columns of 136 bytes.  Element i holds entry i + 1 of the
// tables as the dialogue texts number them.
//   Cp866Column: the bytes 0x80..0xFF, then . , / " 0xFC(№) ; : ?
//   Koi8Column:  the KOI8-R byte of each of those characters; the eight
//                866 characters KOI8-R lacks are paired with eight KOI8-R
//                characters 866 lacks, so 0x80..0xFF map one to one.
//   KeyLayout:   the Latin key that types each character on the Russian
//                layout (F -> А, f -> а, ...); box drawing and the symbols
//                at 866 0xF2..0xFF stand for themselves.
extern const std::array<uint8_t, 136> Cp866Column;
extern const std::array<uint8_t, 136> Koi8Column;
extern const std::array<uint8_t, 136> KeyLayout;

// Byte conversions.  Bytes below 0x80 come back unchanged.
uint8_t Cp866ToKoi8(uint8_t b);  // 866 -> KOI8-R
uint8_t Koi8ToCp866(uint8_t b);  // KOI8-R -> 866
uint8_t Cp866ToCp1251(uint8_t b);  // 866 -> 1251 (box drawing to ¦ or '-')
uint8_t Cp1251ToCp866(uint8_t b);  // 1251 -> 866
uint8_t Cp1251ToKoi8(uint8_t b);   // through 866
uint8_t Koi8ToCp1251(uint8_t b);   // through 866

// Case mapping of the running build's internal set: Latin and Russian
// letters with Ё; the Ukrainian and Belarusian letters of 866 stay.
uint8_t UpCaseChar(uint8_t b);
const uint8_t* UpCaseTable();  // UpCaseChar of every byte, 256 entries
uint8_t LowCaseChar(uint8_t b);
void UpCaseStr(std::string& s);
void LowCaseStr(std::string& s);

// The character a key typed with the Russian layout on gives: the first
// place of b in KeyLayout picks the internal column's byte; any other byte
// is returned unchanged.
uint8_t RusKey(uint8_t b);

// In which form the edited file is to be written: in the code page Disk, or
// as UTF-8 when DiskUtf8 (the text came as UTF-8 and was converted into the
// internal set; Disk then means nothing).  Utf8Bom: the UTF-8 file began
// with a byte-order mark, which is written back before the first line.
struct CodePageState {
  Charset Disk = Charset::Cp866;
  bool DiskUtf8 = false;
  uint8_t Utf8Bom = 0;
};
extern CodePageState CodePage;
// True when the file is written in the code page c.
inline bool DiskIs(Charset c) { return !CodePage.DiskUtf8 && CodePage.Disk == c; }
// The running build's internal set.
void ResetCodePageState();

// Saving: a byte, or the bytes of s from `from` on, from the internal set to
// the set the file is written in (1251 or the foreign set when Disk names
// it, else unchanged).  RecodeForDisk writes UTF-8 when
// DiskUtf8 (the string grows); DiskByte leaves a byte unchanged then.
uint8_t DiskByte(uint8_t b);
void RecodeForDisk(std::string& s, size_t from = 0);
// Appends bytes of the internal set to out in the form the file is written in.
void AppendForDisk(std::string& out, std::string_view bytes);
// The UTF-8 of in[0..n), bytes of the internal set, written to out, which has
// room for Utf8Room(n) bytes; returns its length.
constexpr size_t Utf8Room(size_t n) { return 3 * n + 64; }
size_t EncodeUtf8(const char* in, size_t n, char* out);
// What goes before the first line of the whole text: the byte-order mark of
// a UTF-8 file that had one, else nothing.
std::string DiskPrefix();

// UTF-8 files.  A file is taken for UTF-8 when its bytes are valid UTF-8
// and hold at least one multi-byte sequence (a byte-order mark is one).  It
// is converted into the internal set only when the set holds every one of
// its characters; otherwise its bytes stay as they are.
struct Utf8Verdict {
  enum Kind : uint8_t {
    NotUtf8,      // plain ASCII, or not valid UTF-8: the 866/1251 check decides
    Convertible,  // UTF-8 the internal set holds entirely
    Foreign,      // UTF-8 with a character the internal set lacks (at Line)
    Broken,       // begins with a byte-order mark but is not valid UTF-8 (at Line)
  };
  Kind Form = NotUtf8;
  bool Bom = false;
  long Line = 0;  // 1-based line of the file (LF, CR and CR LF end a line)
};

// Feeds the bytes of a file chunk by chunk and tells what they are.
class Utf8Detector {
 public:
  void Feed(std::string_view bytes);
  // True once the verdict cannot change any more (the bytes are not UTF-8).
  bool Done() const { return Invalid; }
  Utf8Verdict Finish();

 private:
  void Count(uint8_t c);
  std::string Carry;  // a sequence cut by the end of the last chunk
  long Offset = 0;    // bytes fed before the current chunk
  long Line = 1;
  bool PrevCr = false;
  bool Multibyte = false, Bom = false, Invalid = false;
  long ForeignLine = 0, InvalidLine = 0;
};
Utf8Verdict DetectUtf8(std::string_view bytes);

// Converts UTF-8 into the internal set chunk by chunk.  Writes the
// conversion of in[0..n) to out (at most n bytes; out may be in, the
// conversion is then made in place) and returns its length;
// `consumed` is how much of in was used (a sequence cut by the end of the
// chunk is left for the next one unless `last`).  A byte-order mark at the
// very start (`atStart`) is dropped.  A sequence that is not valid or whose
// character the set lacks is copied unchanged, never replaced.
// With `strict` the conversion stops instead before the first sequence it
// cannot convert (or that the end of the file cuts) and says so there.
struct Utf8Decoding {
  bool Multibyte = false;  // a multi-byte sequence was converted (or a byte-order mark dropped)
  bool Bom = false;
  bool Problem = false;    // stopped: not valid UTF-8, or a character the set lacks
};
size_t DecodeUtf8Chunk(const char* in, size_t n, char* out, size_t& consumed, bool atStart, bool last,
                       Utf8Decoding* strict = nullptr);
// One line of UTF-8 in the internal set (a byte-order mark kept out only
// when atStart).
std::string Utf8ToInternal(std::string_view utf8, bool atStart = false);
// The UTF-8 of bytes of the internal set.
std::string InternalToUtf8(std::string_view bytes);

// Shows, and waits for a key, that a UTF-8 file was left unconverted:
// "Строка N: символ, которого нет в кодировке; " + what (Foreign), or the
// same about a bad sequence (Broken).  `what` is UTF-8.
void ReportUnconverted(const Utf8Verdict& v, std::string_view what);

// After loading lines first..last: when at least 20 of their stored bytes
// are above 127 and their average says the text is not in the internal set,
// asks which set it is in and recodes lines first..last (first..LineCount
// when `whole`).  A recoded whole text is remembered to be written back in
// its own set.
void RecodeOnLoad(int first, int last, bool whole);

// The recode command: the line block, or else the whole text (offering to
// save a modified text first), from a set the user names into the set the
// code-page state names.  UTF-8 is the fourth answer: from the other states
// the text is taken to be UTF-8 and converted (only when the set holds all
// of it); in the UTF-8 state the one answer, the internal set, turns the
// text into its UTF-8 bytes (only when every line stays within 255 bytes).
void RecodeCommand();
