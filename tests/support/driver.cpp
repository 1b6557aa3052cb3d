#include "support/driver.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "builds/keymap.h"
#include "core/editor.h"
#include "core/mainloop.h"
#include "base/state.h"
#include "screen/glyphs.h"
#include "screen/keydecode.h"
#include "screen/term.h"
#include "text/linestore.h"
#include "text/savefile.h"

namespace fs = std::filesystem;

std::string ToSet(Charset set, const std::string& utf8) {
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    int32_t u = DecodeUtf8(utf8, i);
    if (u < 0) break;
    int b = ByteOf(set, char32_t(u));
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

std::string FromSet(Charset set, const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += Utf8Of(UnicodeOf(set, c));
  return out;
}

std::vector<HeadlessTerminal::Input> KeysFor(const BuildConfig& b, const std::string& keys) {
  std::vector<HeadlessTerminal::Input> out;
  size_t i = 0;
  while (i < keys.size()) {
    // Raw codes "<#hhhhhhhh>" are taken out before the notation is parsed.
    size_t raw = keys.find("<#", i);
    std::string chunk = keys.substr(i, raw == std::string::npos ? std::string::npos : raw - i);
    std::vector<PhysKey> phys;
    EXPECT_TRUE(ParseKeyNotation(chunk, b.Set, phys)) << "bad key notation: " << chunk;
    for (const PhysKey& k : phys) {
      uint32_t code = KeyCodeFor(b, k);
      EXPECT_NE(code, 0u) << "no code for " << KeyName(k, b.Set) << " in " << b.Name;
      out.push_back({code, {}});
    }
    if (raw == std::string::npos) break;
    size_t close = keys.find('>', raw);
    out.push_back({uint32_t(std::stoul(keys.substr(raw + 2, close - raw - 2), nullptr, 16)), {}});
    i = close + 1;
  }
  return out;
}

namespace {

// A headless terminal that notes the message row whenever the editor waits
// on it (a row of one character throughout is the empty row's pattern).
struct NotingTerminal : HeadlessTerminal {
  using HeadlessTerminal::HeadlessTerminal;
  std::vector<std::string> Messages;
  void Note() {
    std::string row;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) row += char(CellChar(CellAt(c, 2)));
    if (row.find_first_not_of(row[0]) == std::string::npos) return;
    row.erase(row.find_last_not_of(' ') + 1);
    if (Messages.empty() || Messages.back() != row) Messages.push_back(row);
  }
  bool Poll(int timeoutMs) override {
    if (timeoutMs != 0) Note();
    return HeadlessTerminal::Poll(timeoutMs);
  }
  void Pause(int ms) override {
    Note();
    HeadlessTerminal::Pause(ms);
  }
};

}  // namespace

RunResult Drive(const RunOptions& o) {
  static int counter = 0;
  RunResult r;
  r.Dir = (fs::temp_directory_path() / ("vesk-case-" + std::to_string(getpid()) + "-" + std::to_string(++counter)))
              .string();
  fs::remove_all(r.Dir);
  fs::create_directories(r.Dir);
  r.KeepDir = std::shared_ptr<void>(nullptr, [dir = r.Dir](void*) {
    std::error_code ec;
    fs::remove_all(dir, ec);
  });
  for (const auto& [name, content] : o.Files) std::ofstream(r.Dir + "/" + name, std::ios::binary) << content;
  r.Path = r.Dir + "/" + o.FileName;
  if (o.CreateFile) {
    std::ofstream f(r.Path, std::ios::binary);
    f << (o.Raw ? o.Text : ToSet(o.Build->Set, o.Text));
  }

  SelectBuild(*o.Build);
  ResetAllState();
  ResetScreen(o.Width, o.Height);
  NotingTerminal term(o.Build->Set);
  term.EndOnWait = o.EndOnWait;
  for (auto& in : KeysFor(*o.Build, o.Keys)) term.Script.push_back(in);
  for (auto& in : o.ExtraInput) term.Script.push_back(in);
  Term = &term;
  ClosingSignal = 0;

  std::vector<std::string> args = o.Switches;
  if (o.PrivateStateDir) {
    args.insert(args.begin(), "-I" + r.Dir + "/");
    args.insert(args.begin(), "-X" + r.Dir + "/");
  }
  args.push_back(r.Path);
  const fs::path oldDir = fs::current_path();
  if (o.InCaseDir) fs::current_path(r.Dir);
  try {
    StartEditor(args);
    MainLoop();
  } catch (const ProgramExit& e) {
    r.ExitStatus = e.Status;
  } catch (const InputLost&) {
    r.ExitStatus = -1;
  }
  if (o.InCaseDir) fs::current_path(oldDir);
  Term = nullptr;
  r.Signal = ClosingSignal;
  ClosingSignal = 0;
  r.Pauses = term.Pauses;

  if (!Txt.LineTable.empty()) {
    std::istringstream in(TextForSave());
    std::string line;
    while (std::getline(in, line)) r.Lines.push_back(line);
  }
  r.CurLine = Ed.CurLine;
  r.CurCol = Ed.CurCol;
  r.Width = Scr.ScreenWidth;
  r.Height = Scr.ScreenHeight;
  r.Cells = Scr.ScreenCells;
  r.CursorColumn = Scr.CursorColumn;
  r.CursorRow = Scr.CursorRow;
  r.Marks = {Ed.BlockFirst, Ed.BlockLast, Ed.RectFirst, Ed.RectLast, Ed.RectFirstCol, Ed.RectLastCol};
  for (const std::string& m : term.Messages) r.Messages.push_back(FromSet(o.Build->Set, m));
  return r;
}

Cell RunResult::At(int column, int row) const {
  if (column < 1 || column > Width || row < 1 || row > Height) return BlankCell;
  return Cells[size_t(row - 1) * size_t(Width) + size_t(column - 1)];
}

std::string RunResult::Row(int r) const {
  std::string s;
  for (int c = 1; c <= Width; ++c) s += Utf8Of(GlyphOf(CurrentBuild().Set, CellChar(At(c, r))));
  return s;
}

std::string RunResult::FileContent() const {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

namespace {
// The last test may leave a text in the line store; it is given back before
// the process ends, so that leak checking sees only real leaks.
class FreeTextAtEnd : public ::testing::Environment {
 public:
  void TearDown() override { ResetLineStore(); }
};
const auto* const FreeTextAtEndEnvironment = ::testing::AddGlobalTestEnvironment(new FreeTextAtEnd);
}  // namespace
