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
uint8_t AsciiToKoi8(uint8_t b);  // 866 -> KOI8-R
uint8_t Koi8ToAscii(uint8_t b);  // KOI8-R -> 866
uint8_t AsciiToAnsi(uint8_t b);  // 866 -> 1251 (box drawing to ¦ or '-')
uint8_t AnsiToAscii(uint8_t b);  // 1251 -> 866
uint8_t AnsiToKoi8(uint8_t b);   // through 866
uint8_t Koi8ToAnsi(uint8_t b);   // through 866

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

// In which set the edited file is to be written; exactly one flag is set.
struct CodePageState {
  uint8_t DiskIsAscii = 0;
  uint8_t DiskIsKoi8 = 0;
  uint8_t DiskIsAnsi = 0;
};
extern CodePageState CodePage;
// The flag of the running build's internal set alone.
void ResetCodePageState();

// Saving: a byte, or the bytes of s from `from` on, from the internal set to
// the set the file is written in (1251 when DiskIsAnsi, else the foreign set
// when its flag is set, else unchanged).
uint8_t DiskByte(uint8_t b);
void RecodeForDisk(std::string& s, size_t from = 0);

// After loading lines first..last: when at least 20 of their stored bytes
// are above 127 and their average says the text is not in the internal set,
// asks which set it is in and recodes lines first..last (first..LineCount
// when `whole`).  A recoded whole text is remembered to be written back in
// its own set.
void RecodeOnLoad(int first, int last, bool whole);

// The recode command: the line block, or else the whole text (offering to
// save a modified text first), from a set the user names into the set the
// code-page state names.
void RecodeCommand();
