#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builds/build.h"
#include "support/driver.h"
#include "text/loadsave.h"
#include "text/utf8blocks.h"

namespace fs = std::filesystem;

namespace {
// Lines as the file format says: a line ends at LF, CR or CR LF; the last
// needs no end; a line keeps its first 255 bytes.
std::vector<std::pair<std::string, bool>> Expected(const std::string& text) {
  std::vector<std::pair<std::string, bool>> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t e = text.find_first_of("\r\n", i);
    if (e == std::string::npos) e = text.size();
    std::string line = text.substr(i, e - i);
    const bool cut = line.size() > 255;
    if (cut) line.resize(255);
    out.emplace_back(line, cut);
    i = e;
    if (i < text.size() && text[i] == '\r') ++i;
    else if (i < text.size()) {
      ++i;
      continue;
    }
    if (i < text.size() && text[i] == '\n' && text[i - 1] == '\r') ++i;
  }
  return out;
}
}  // namespace

// Files larger than the reader's buffer, so that line ends of every kind
// fall on its boundaries: CR-only files, CR LF pairs split between two
// reads, LF files, long lines, lines of nothing.
TEST(LineReader, EveryKindOfLineEndAcrossBufferBoundaries) {
  const std::string dir = testing::TempDir() + "vesk-reader-" + std::to_string(getpid());
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string ends[] = {"\n", "\r", "\r\n", "\n\r"};
  std::vector<std::string> texts;
  for (const std::string& end : ends) {
    std::string t;
    for (int i = 0; t.size() < 200000; ++i) t += std::string(size_t(i * 37 % 300), char('a' + i % 26)) + end;
    texts.push_back(t);
  }
  // Mixed, with the only LF far behind many CR ends, and no end at all.
  std::string mixed;
  for (int i = 0; mixed.size() < 150000; ++i) mixed += "cr line " + std::to_string(i) + "\r";
  mixed += "then lf\nlast";
  texts.push_back(mixed);
  // A CR LF pair exactly on the boundary of the first read.
  std::string split(65535, 'x');
  split += "\r\nnext\r\n";
  texts.push_back(split);
  for (size_t k = 0; k < texts.size(); ++k) {
    const std::string path = dir + "/t" + std::to_string(k);
    { std::ofstream(path, std::ios::binary) << texts[k]; }
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    auto reader = std::make_unique<LineReader>(fd);
    std::vector<std::pair<std::string, bool>> got;
    std::string line;
    bool cut = false;
    while (reader->Next(line, cut)) got.emplace_back(line, cut);
    close(fd);
    const auto want = Expected(texts[k]);
    ASSERT_EQ(got.size(), want.size()) << "text " << k;
    for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "text " << k << " line " << i + 1;
  }
  fs::remove_all(dir);
}

// UTF-8 read in pieces: sequences cut by the end of a read (the lead byte
// the last of the first read, or its continuation the first of the second),
// and lines whose lead bytes fall on every place of a block of 16, 32 or 64
// bytes, come out as the set's bytes, with each block conversion the
// processor has and without.
TEST(LineReader, Utf8SequencesAcrossReadsAndBlocks) {
  const std::string dir = testing::TempDir() + "vesk-reader-utf8-" + std::to_string(getpid());
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::vector<std::string> lines;
  // 655 lines of 100 bytes: the first read ends 36 bytes into the next line.
  for (int i = 0; i < 655; ++i) lines.push_back(std::string(99, 'a'));
  std::vector<std::string> texts;
  for (size_t before : {35, 34}) {
    std::vector<std::string> t = lines;
    std::string cut(before, 'b');
    for (int k = 0; k < 60; ++k) cut += "ж";
    t.push_back(cut);
    for (int i = 0; i < 4000; ++i) {
      std::string l = std::string(size_t(i % 7), ' ') + std::to_string(i);
      for (int k = 0; k < i % 61; ++k) l += k % 5 == 4 ? "ё " : "Жи";
      t.push_back(l);
    }
    std::string text;
    for (const std::string& l : t) text += l + "\n";
    texts.push_back(text);
  }
  SelectBuild(BuildKoi8);
  const Utf8Blocks had = UseUtf8Blocks;
  for (Utf8Blocks way : {Utf8Blocks::Off, Utf8Blocks::Ssse3, Utf8Blocks::Avx2, Utf8Blocks::Avx512}) {
    if (!Utf8BlocksAvailable(way)) continue;
    UseUtf8Blocks = way;
    for (size_t k = 0; k < texts.size(); ++k) {
      const std::string path = dir + "/u" + std::to_string(k);
      { std::ofstream(path, std::ios::binary) << texts[k]; }
      const int fd = open(path.c_str(), O_RDONLY);
      ASSERT_GE(fd, 0);
      auto reader = std::make_unique<LineReader>(fd, true);
      std::string line;
      bool cut = false;
      std::string got;
      while (reader->Next(line, cut)) got += line + "\n";
      close(fd);
      EXPECT_FALSE(reader->Failed());
      ASSERT_EQ(got, ToSet(Charset::Koi8, texts[k])) << "text " << k << " " << Utf8BlocksName(way);
    }
  }
  UseUtf8Blocks = had;
  SelectBuild(BuildKoi8Rkbd);
  fs::remove_all(dir);
}
