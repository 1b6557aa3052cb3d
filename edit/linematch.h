// Finding a string in the lines of the text without copying them: the
// line-by-line search of the search and replace commands.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class LineMatcher {
 public:
  // pattern as FindInLine takes it: already upper-cased when fold is set,
  // in which case the text is compared upper-cased.
  LineMatcher(std::string_view pattern, bool fold);
  // The 1-based position of the first occurrence in the stored bytes of
  // line n, 0 when there is none: FindInLine(pattern, LineBytes(n)).
  int In(int n) const;

 private:
  int InBytes(const uint8_t* s, size_t len) const;
  std::string Pat;
  const uint8_t* Up;  // the text's bytes as compared (256 entries)
  // The bytes that compare equal to the pattern's first byte, when there
  // are at most two of them (memchr finds the candidates); else 0 of them.
  std::array<uint8_t, 2> First{};
  int Firsts = 0;
  // The pattern may end in a byte that a blank compares equal to: a match
  // may then run into the blanks a line does not keep.
  bool IntoBlanks = false;
};
