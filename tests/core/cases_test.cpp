// Runs the behaviour cases of tests/cases (see its README) for each program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

  std::string clip;
  if (ReadFile(dir / "clip", clip)) o.Files.push_back({"VeskClip", ToSet(b.Set, clip)});
  if (fs::is_directory(dir / "files"))
    for (const auto& e : fs::directory_iterator(dir / "files")) {
      std::string content;
      ReadFile(e.path(), content);
      o.Files.push_back({e.path().filename().string(), ToSet(b.Set, content)});
    }
  o.InCaseDir = true;

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
  std::string clipAfter;
  if (ReadFile(dir / "clip-after", clipAfter)) {
    ReadFile(fs::path(r.Dir) / "VeskClip", clip);
    EXPECT_EQ(FromSet(b.Set, clip), clipAfter) << "the clipboard file";
  }
  std::string cursor;
  if (ReadFile(dir / "cursor", cursor)) {
    std::istringstream in(cursor);
    int line = 0, col = 0;
    in >> line >> col;
    EXPECT_EQ(r.CurLine, line) << "cursor line";
    EXPECT_EQ(r.CurCol, col) << "cursor column";
  }
  std::string marks;
  if (ReadFile(dir / "marks", marks)) {
    std::istringstream in(marks);
    std::vector<int> want(6, 0);
    for (int& m : want) in >> m;
    EXPECT_EQ(r.Marks, want) << "line block first, last; rectangle first, last line, first, last column";
  }
  std::string messages;
  if (ReadFile(dir / "messages", messages)) {
    // Each expected message, in this order, among those the run showed.
    size_t next = 0;
    for (const std::string& want : SplitLines(messages)) {
      while (next < r.Messages.size() && r.Messages[next] != want) ++next;
      EXPECT_LT(next, r.Messages.size()) << "message not shown (in this order): " << want << "\nshown:\n"
                                         << testing::PrintToString(r.Messages);
      if (next < r.Messages.size()) ++next;
    }
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
      size_t end = line.find('$');
      if (end != std::string::npos && (colon == std::string::npos || end < colon)) {
        int row = std::stoi(line.substr(0, end));
        std::string want = line.substr(end + 1), got = r.Row(row);
        EXPECT_EQ(got.substr(got.size() - std::min(got.size(), want.size())), want) << "row " << row;
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

// Each case folder is one test, run in every program it names.
class Cases : public ::testing::TestWithParam<std::string> {};

TEST_P(Cases, InEveryBuild) {
  const fs::path dir = fs::path(VESK_SOURCE_DIR) / "tests" / "cases" / GetParam();
  std::string only;
  std::vector<std::string> names;
  if (ReadFile(dir / "builds", only)) names = SplitLines(only);
  int count = 0;
  for (const BuildConfig* b : AllBuilds()) {
    if (!names.empty() && std::find(names.begin(), names.end(), b->Name) == names.end()) continue;
    RunCase(dir, *b);
    ++count;
  }
  EXPECT_GT(count, 0) << "no program named in builds";
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(fs::path(VESK_SOURCE_DIR) / "tests" / "cases"))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Folder, Cases, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
