// Loading, saving and recoding a full text of 24,575 lines, timed in
// process; and the memory the line store holds for it.
//
//   build/bench/vesk_bench_loadsave [lines] [runs] [--bytes|--ssse3|--avx2|--portable|--avx512]
//
// The way UTF-8 is converted (the fastest the processor has unless one is
// named): --bytes byte by byte throughout; --ssse3 and --avx2 the blocks of
// 16 and 32 bytes; --portable the faster of those two, as on a processor
// without AVX-512 VBMI2; --avx512 the blocks of 64 bytes.
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
#include "base/state.h"
#include "screen/cells.h"
#include "screen/glyphs.h"
#include "screen/headless.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/savefile.h"
#include "text/utf8blocks.h"

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

// The time SaveFile spends waiting in fsync, which moves with what else the
// disk is doing.
double SyncMs = 0;

int TimedFsync(int fd) {
  const auto t0 = std::chrono::steady_clock::now();
  const int r = fsync(fd);
  SyncMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

struct Samples {
  std::vector<double> Load, Save, Unsynced, Serialise, Recode;
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
  SyncMs = 0;
  SaveCalls.Fsync = TimedFsync;
  s.Save.push_back(TimeMs([] { SaveFile(); }));
  SaveCalls = RealSaveCalls;
  s.Unsynced.push_back(s.Save.back() - SyncMs);
  s.Recode.push_back(TimeMs([] {
    std::array<uint8_t, 256> map;
    for (int i = 0; i < 256; ++i) map[size_t(i)] = Koi8ToCp866(uint8_t(i));
    for (int n = 1; n <= Txt.LineCount; ++n) MapLineBytes(n, map);
  }));
  ResetLineStore();
}

// A figure of the UTF-8 file beside the KOI8-R one: the medians, the
// median of the ratios of runs that came one after the other, and the least
// of the runs, which is what a busy machine disturbs least.
void Compare(const char* what, const std::vector<double>& u, const std::vector<double>& k, const char* limit) {
  std::vector<double> pairs;
  for (size_t r = 0; r < u.size() && r < k.size(); ++r) pairs.push_back(u[r] / k[r]);
  std::printf("%-26s %.2f ms against %.2f: %.2f times KOI8-R; run by run %.2f; least %.2f against %.2f: %.2f%s\n",
              what, Median(u), Median(k), Median(u) / Median(k), Median(pairs), Least(u), Least(k),
              Least(u) / Least(k), limit);
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 24575;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
  if (argc > 3) {
    const std::string way = argv[3];
    Utf8Blocks use = UseUtf8Blocks;
    if (way == "--bytes") use = Utf8Blocks::Off;
    else if (way == "--ssse3") use = Utf8Blocks::Ssse3;
    else if (way == "--avx2") use = Utf8Blocks::Avx2;
    else if (way == "--avx512") use = Utf8Blocks::Avx512;
    else if (way == "--portable") use = Utf8BlocksAvailable(Utf8Blocks::Avx2) ? Utf8Blocks::Avx2 : Utf8Blocks::Ssse3;
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[3]);
      return 2;
    }
    if (!Utf8BlocksAvailable(use)) {
      std::fprintf(stderr, "this processor cannot convert %s\n", Utf8BlocksName(use));
      return 2;
    }
    UseUtf8Blocks = use;
  }
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
  Term = nullptr;
  if (k.Utf8 || !u.Utf8) std::printf("warning: the files were not taken for what they are\n");

  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  const double per10k = 10000.0 / lines;
  const size_t accounted = size_t(lines) * 255 + LineTableBytes;
  std::printf("lines                      %d (60 characters each; KOI8-R %zu bytes, UTF-8 %zu bytes), %d runs\n", lines,
              size_t(std::filesystem::file_size(path)), size_t(std::filesystem::file_size(utf8Path)), runs);
  std::printf("UTF-8 conversion           %s\n", Utf8BlocksName(UseUtf8Blocks));
  std::printf("load                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", Median(k.Load),
              Median(k.Load) * per10k);
  std::printf("save                       %.2f ms  (%.2f ms per 10,000 lines; target 2)\n", Median(k.Save),
              Median(k.Save) * per10k);
  std::printf("  of which the text itself %.2f ms, waiting in fsync %.2f ms\n", Median(k.Serialise),
              Median(k.Save) - Median(k.Unsynced));
  // The same text in UTF-8 (converted on loading, written back as UTF-8).
  Compare("UTF-8 load", u.Load, k.Load, " (limit 1.5)");
  Compare("UTF-8 save", u.Save, k.Save, " (limit 1.5)");
  Compare("  of it all but fsync", u.Unsynced, k.Unsynced, "");
  Compare("  of it the text itself", u.Serialise, k.Serialise, "");
  std::printf("recode whole text          %.2f ms\n", Median(k.Recode));
  std::printf("line store (budget used)   %zu bytes; LineWidth+1 per line plus the table: %zu\n", k.HeapUsed,
              accounted);
  std::printf("peak resident set          %ld KiB (limit: twice the accounting, %zu KiB)\n", ru.ru_maxrss,
              2 * accounted / 1024);
  std::filesystem::remove_all(dir);
  return 0;
}
