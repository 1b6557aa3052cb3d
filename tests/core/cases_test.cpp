// Runs the behaviour cases of tests/cases (see its README) for each program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/driver.h"

namespace fs = std::filesystem;

namespace {

bool ReadFile(const fs::path& p, std::string& out) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return false;
  std::stringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return true;
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> lines;
  std::istringstream in(s);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void RunCase(const fs::path& dir, const BuildConfig& b) {
  SCOPED_TRACE(dir.filename().string() + " in " + b.Name);
  RunOptions o;
  o.Build = &b;
  o.CreateFile = ReadFile(dir / "in", o.Text);
  std::string keys;
  ReadFile(dir / "keys", keys);
  for (const std::string& line : SplitLines(keys)) o.Keys += line;
  std::string args;
  if (ReadFile(dir / "args", args)) o.Switches = SplitLines(args);

  RunResult r = Drive(o);

  std::string status;
  if (ReadFile(dir / "status", status)) EXPECT_EQ(r.ExitStatus, std::stoi(status));
  else EXPECT_EQ(r.ExitStatus, -1) << "the editor ended";
  std::string out;
  if (ReadFile(dir / "out", out)) {
    std::vector<std::string> got;
    for (const std::string& line : r.Lines) got.push_back(FromSet(b.Set, line));
    EXPECT_EQ(got, SplitLines(out));
  }
  std::string screen;
  if (ReadFile(dir / "screen", screen)) {
    for (const std::string& line : SplitLines(screen)) {
      size_t colon = line.find(':'), at = line.find('@');
      if (at != std::string::npos && (colon == std::string::npos || at < colon)) {
        int row = std::stoi(line.substr(0, at)), col = std::stoi(line.substr(at + 1));
        EXPECT_EQ(r.CursorRow, row);
        EXPECT_EQ(r.CursorColumn, col);
        continue;
      }
      ASSERT_NE(colon, std::string::npos) << line;
      int row = std::stoi(line.substr(0, colon));
      std::string want = line.substr(colon + 1);
      EXPECT_EQ(r.Row(row).substr(0, want.size()), want) << "row " << row;
    }
  }
}

}  // namespace

TEST(Cases, EveryCaseInEveryBuild) {
  fs::path root = fs::path(VESK_SOURCE_DIR) / "tests" / "cases";
  int count = 0;
  std::vector<fs::path> dirs;
  for (const auto& e : fs::directory_iterator(root))
    if (e.is_directory()) dirs.push_back(e.path());
  std::sort(dirs.begin(), dirs.end());
  for (const fs::path& dir : dirs) {
    std::string only;
    std::vector<std::string> names;
    if (ReadFile(dir / "builds", only)) names = SplitLines(only);
    for (const BuildConfig* b : AllBuilds()) {
      if (!names.empty() && std::find(names.begin(), names.end(), b->Name) == names.end()) continue;
      RunCase(dir, *b);
      ++count;
    }
  }
  EXPECT_GT(count, 0);
}
