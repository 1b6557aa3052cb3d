// Build step: writes the help file of the code-page-866 programs, the
// KOI8-R help file recoded byte by byte with the editor's own table.
//   vesk-recode-help <koi8r input> <cp866 output>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "text/codepage.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s koi8r-input cp866-output\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (char& c : text) c = char(Koi8ToCp866(uint8_t(c)));
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
    return 1;
  }
  return 0;
}
