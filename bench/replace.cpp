// Replace-all timed in process: every "e" by "ea" in a text of 24,575 lines
// of about 60 ASCII characters, no questions at the matches.  The text
// afterwards is checked against the expected one.
//
//   build/bench/vesk_bench_replace [lines] [runs] [ignore]
//
// With "ignore" the case question is answered "ignore letter case".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "builds/build.h"
#include "core/editor.h"
#include "base/state.h"
#include "edit/search.h"
#include "screen/cells.h"
#include "screen/headless.h"
#include "text/linestore.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Line i of the text: its number and words, about 60 characters.
std::string TextLine(int i) {
  static const char* const words[] = {"the", "quick", "brown", "fox",  "jumps", "over", "lazy",
                                      "dog", "line",  "text",  "main", "code",  "file", "word"};
  std::string l = std::to_string(i);
  for (unsigned k = unsigned(i) * 7u; l.size() < 56; k = k * 1103515245u + 12345u)
    l += std::string(" ") + words[(k >> 16) % 14];
  return l;
}

std::string Expected(const std::string& s) {
  std::string out;
  for (char c : s) out += c == 'e' ? std::string("ea") : std::string(1, c);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 24575;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  const bool ignoreCase = argc > 3 && std::string(argv[3]) == "ignore";
  SelectBuild(BuildKoi8);
  HeadlessTerminal term(Charset::Koi8);
  Term = &term;
  std::vector<double> times;
  long matches = 0;
  bool ok = true;
  for (int r = 0; r < runs; ++r) {
    ResetAllState();
    ResetScreen(80, 25);
    ResetSearchState();
    InitLineStore();
    matches = 0;
    for (int i = 1; i <= lines; ++i) {
      const std::string l = TextLine(i);
      matches += std::count(l.begin(), l.end(), 'e');
      AppendLine(l, Txt.LineWidth);
    }
    // F6: the string, the replacement, no confirmation, match case; the key
    // that ends "all replaced".
    for (uint32_t k : {uint32_t('e'), 0x1C0Du, uint32_t('e'), uint32_t('a'), 0x1C0Du, uint32_t('2'), ignoreCase ? uint32_t('1') : uint32_t('2'),
                       0x3920u})
      term.Script.push_back({k, {}});
    const auto t0 = std::chrono::steady_clock::now();
    Replace();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    for (int i = 1; i <= lines && ok; ++i) {
      const std::string_view s = LineBytes(i);
      if (std::string(s.substr(0, TrimmedLength(s))) != Expected(TextLine(i))) {
        std::printf("line %d differs: %s\n", i, std::string(s).c_str());
        ok = false;
      }
    }
    ResetLineStore();
  }
  Term = nullptr;
  std::printf("replace e by ea (%s), %d lines, %ld matches: %.1f ms (median of %d; least %.1f)%s\n",
              ignoreCase ? "ignoring case" : "matching case", lines, matches, Median(times), runs,
              *std::min_element(times.begin(), times.end()), ok ? "" : "  WRONG RESULT");
  return ok ? 0 : 1;
}
