// Loading, saving and recoding a full text of 24,575 lines, timed in
// process; and the memory the line store holds for it.
//
//   build/bench/vesk_bench_loadsave [lines] [runs]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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
#include "screen/glyphs.h"
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

double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

struct Figures {
  double Load, Save, Serialise, Recode;
  double LoadMin, SaveMin, SerialiseMin;  // the least of the runs: the figure a busy machine disturbs least
  size_t HeapUsed;
  bool Utf8;  // the file was taken for UTF-8 and converted
};

struct Samples {
  std::vector<double> Load, Save, Serialise, Recode;
  size_t HeapUsed = 0;
  bool Utf8 = false;
};

// Loads, serialises and saves the file once with the code-page check on, as
// the editor starts by default.
void RunOnce(const std::string& path, Samples& s) {
  ResetAllState();
  ResetScreen(80, 25);
  InitLineStore();
  Ed.FileName = path;
  Ed.AskRecodeOnLoad = true;
  s.Load.push_back(TimeMs([] { LoadFile(); }));
  s.HeapUsed = Heap.Used;
  s.Utf8 = CodePage.DiskUtf8;
  s.Serialise.push_back(TimeMs([] {
    std::string t = TextForSave();
    if (t.empty()) std::abort();
  }));
  Txt.Modified = true;
  s.Save.push_back(TimeMs([] { SaveFile(); }));
  s.Recode.push_back(TimeMs([] {
    std::array<uint8_t, 256> map;
    for (int i = 0; i < 256; ++i) map[size_t(i)] = Koi8ToCp866(uint8_t(i));
    for (int n = 1; n <= Txt.LineCount; ++n) MapLineBytes(n, map);
  }));
  ResetLineStore();
}

Figures Summary(const Samples& s) {
  Figures f{};
  f.Load = Median(s.Load);
  f.Save = Median(s.Save);
  f.Serialise = Median(s.Serialise);
  f.Recode = Median(s.Recode);
  f.LoadMin = Least(s.Load);
  f.SaveMin = Least(s.Save);
  f.SerialiseMin = Least(s.Serialise);
  f.HeapUsed = s.HeapUsed;
  f.Utf8 = s.Utf8;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 24575;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::string dir = std::filesystem::temp_directory_path() / ("vesk-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/big.txt";
  const std::string utf8Path = dir + "/big-utf8.txt";
  {
    // 60-character lines of KOI8-R Cyrillic and ASCII, and the same text in
    // UTF-8.
    std::ofstream f(path, std::ios::binary);
    std::ofstream u(utf8Path, std::ios::binary);
    for (int i = 0; i < lines; ++i) {
      std::string l = "\xF3\xD4\xD2\xCF\xCB\xC1 " + std::to_string(i) + " text line of the benchmark ";
      while (l.size() < 60) l += "\xC1\xC2\xD7";
      l.resize(60);
      f << l << '\n';
      for (char c : l) u << Utf8Of(UnicodeOf(Charset::Koi8, uint8_t(c)));
      u << '\n';
    }
  }

  SelectBuild(BuildKoi8);
  HeadlessTerminal term(Charset::Koi8);
  Term = &term;
  // The two files take turns, so that a busy moment of the machine falls on
  // both alike.
  Samples k, u;
  for (int r = 0; r < runs; ++r) {
    RunOnce(path, k);
    RunOnce(utf8Path, u);
  }
  const Figures koi8 = Summary(k);
  const Figures utf8 = Summary(u);
  Term = nullptr;
  if (koi8.Utf8 || !utf8.Utf8) std::printf("warning: the files were not taken for what they are\n");

  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  const double per10k = 10000.0 / lines;
  const size_t accounted = size_t(lines) * 255 + LineTableBytes;
  std::printf("lines                      %d (60 characters each; KOI8-R %zu bytes, UTF-8 %zu bytes)\n", lines,
              size_t(std::filesystem::file_size(path)), size_t(std::filesystem::file_size(utf8Path)));
  std::printf("load                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", koi8.Load,
              koi8.Load * per10k);
  std::printf("save                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", koi8.Save,
              koi8.Save * per10k);
  std::printf("  of which the text itself %.2f ms (the rest is writing and fsync to the disk)\n", koi8.Serialise);
  // The same text in UTF-8 (converted on loading, written back as UTF-8),
  // beside KOI8-R: medians, and the least of the runs with their ratio.
  std::printf("UTF-8 load                 %.2f ms  (least %.2f ms against %.2f: %.2f times KOI8-R; limit 1.5)\n",
              utf8.Load, utf8.LoadMin, koi8.LoadMin, utf8.LoadMin / koi8.LoadMin);
  std::printf("UTF-8 save                 %.2f ms  (least %.2f ms against %.2f: %.2f times KOI8-R; limit 1.5)\n",
              utf8.Save, utf8.SaveMin, koi8.SaveMin, utf8.SaveMin / koi8.SaveMin);
  std::printf("  of which the text itself %.2f ms  (least %.2f ms against %.2f: %.2f times KOI8-R)\n",
              utf8.Serialise, utf8.SerialiseMin, koi8.SerialiseMin, utf8.SerialiseMin / koi8.SerialiseMin);
  std::printf("recode whole text          %.2f ms\n", koi8.Recode);
  std::printf("line store (budget used)   %zu bytes; LineWidth+1 per line plus the table: %zu\n", koi8.HeapUsed,
              accounted);
  std::printf("peak resident set          %ld KiB (limit: twice the accounting, %zu KiB)\n", ru.ru_maxrss,
              2 * accounted / 1024);
  std::filesystem::remove_all(dir);
  return 0;
}
