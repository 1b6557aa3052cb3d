// Loading, saving and recoding a full text of 24,575 lines, timed in
// process; and the memory the line store holds for it.
//
//   build/bench/vesk_bench_loadsave [lines] [runs]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builds/build.h"
#include "core/editor.h"
#include "core/state.h"
#include "screen/cells.h"
#include "screen/headless.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/savefile.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <class F>
double TimeMs(F f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 24575;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::string dir = std::filesystem::temp_directory_path() / ("vesk-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/big.txt";
  {
    // 60-character lines of KOI8-R Cyrillic and ASCII.
    std::ofstream f(path, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      std::string l = "\xF3\xD4\xD2\xCF\xCB\xC1 " + std::to_string(i) + " text line of the benchmark ";
      while (l.size() < 60) l += "\xC1\xC2\xD7";
      l.resize(60);
      f << l << '\n';
    }
  }

  SelectBuild(BuildKoi8);
  HeadlessTerminal term(Charset::Koi8);
  Term = &term;
  std::vector<double> load, save, serialise, recode;
  size_t heapUsed = 0;
  for (int r = 0; r < runs; ++r) {
    ResetAllState();
    ResetScreen(80, 25);
    InitLineStore();
    Ed.FileName = path;
    Ed.AskRecodeOnLoad = false;
    load.push_back(TimeMs([] { LoadFile(); }));
    heapUsed = Heap.Used;
    serialise.push_back(TimeMs([] {
      std::string s = TextForSave();
      if (s.empty()) std::abort();
    }));
    Txt.Modified = true;
    save.push_back(TimeMs([] { SaveFile(); }));
    recode.push_back(TimeMs([] {
      std::array<uint8_t, 256> map;
      for (int i = 0; i < 256; ++i) map[size_t(i)] = Koi8ToAscii(uint8_t(i));
      for (int n = 1; n <= Txt.LineCount; ++n) MapLineBytes(n, map);
    }));
    ResetLineStore();
  }
  Term = nullptr;

  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  const double per10k = 10000.0 / lines;
  const size_t accounted = size_t(lines) * 255 + LineTableBytes;
  std::printf("lines                      %d (60 characters each)\n", lines);
  std::printf("load                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", Median(load),
              Median(load) * per10k);
  std::printf("save                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", Median(save),
              Median(save) * per10k);
  std::printf("  of which the text itself %.2f ms (the rest is writing and fsync to the disk)\n", Median(serialise));
  std::printf("recode whole text          %.2f ms\n", Median(recode));
  std::printf("line store (budget used)   %zu bytes; LineWidth+1 per line plus the table: %zu\n", heapUsed,
              accounted);
  std::printf("peak resident set          %ld KiB (limit: twice the accounting, %zu KiB)\n", ru.ru_maxrss,
              2 * accounted / 1024);
  std::filesystem::remove_all(dir);
  return 0;
}
