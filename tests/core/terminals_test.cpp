// The real programs on a pseudo-terminal read by libvterm: what a user of
// each TERM sees, compared with what xterm shows; stops, continues and
// resizes from outside.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vterm.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch.h"

// Last: term.h defines a macro for every capability name.
#include <curses.h>
#include <term.h>
#undef lines
#undef columns
#undef bell
#undef tab

namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Utf8(uint32_t c) {
  std::string s;
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | (c >> 6));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xE0 | (c >> 12));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
  return s;
}

// One program on a pseudo-terminal of rows x cols whose output goes into
// libvterm.
class PtyEditor {
 public:
  PtyEditor(const std::string& term, int rows, int cols, const std::vector<std::string>& args,
            const std::string& dir)
      : Rows(rows), Cols(cols) {
    winsize ws{};
    ws.ws_row = uint16_t(rows);
    ws.ws_col = uint16_t(cols);
    Pid = forkpty(&Master, nullptr, nullptr, &ws);
    if (Pid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      setenv("TERM", term.c_str(), 1);
      setenv("LANG", "C.UTF-8", 1);
      setenv("LC_ALL", "C.UTF-8", 1);
      unsetenv("VESK_BLINK");
      unsetenv("VESK_ESC_TIMEOUT");
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
    Vt = vterm_new(rows, cols);
    vterm_set_utf8(Vt, 1);
    Screen = vterm_obtain_screen(Vt);
    vterm_screen_reset(Screen, 1);
  }
  ~PtyEditor() {
    if (Pid > 0 && !Ended) {
      kill(Pid, SIGKILL);
      int st;
      waitpid(Pid, &st, 0);
    }
    if (Master >= 0) close(Master);
    vterm_free(Vt);
  }
  PtyEditor(const PtyEditor&) = delete;
  PtyEditor& operator=(const PtyEditor&) = delete;

  void Send(std::string_view s) {
    while (!s.empty()) {
      ssize_t w = write(Master, s.data(), s.size());
      if (w < 0 && errno != EINTR && errno != EAGAIN) return;
      if (w > 0) s.remove_prefix(size_t(w));
    }
  }

  // Reads the output until none came for quietMs (at most limitMs); whether
  // anything came.
  bool Settle(int quietMs = 150, int limitMs = 4000) {
    const int64_t end = NowMs() + limitMs;
    int64_t last = NowMs();
    bool any = false;
    for (;;) {
      const int64_t now = NowMs();
      if (now - last >= quietMs || now >= end) return any;
      pollfd p{Master, POLLIN, 0};
      if (poll(&p, 1, int(std::min<int64_t>(quietMs - (now - last), end - now))) <= 0) continue;
      if (!ReadSome()) return any;
      last = NowMs();
      any = true;
    }
  }
  // One read of what the program wrote, into the emulator; false at its end.
  bool ReadSome() {
    char buf[8192];
    ssize_t n = read(Master, buf, sizeof buf);
    if (n <= 0) return false;
    Bytes.append(buf, size_t(n));
    // libvterm is given whole characters: a UTF-8 sequence split between
    // two reads can come out as U+FFFD in it.
    Pending.append(buf, size_t(n));
    size_t whole = Pending.size();
    for (size_t k = 1; k <= 3 && k <= Pending.size(); ++k) {
      const uint8_t b = uint8_t(Pending[Pending.size() - k]);
      if ((b & 0xC0) == 0x80) continue;
      const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      if (need > k) whole = Pending.size() - k;
      break;
    }
    vterm_input_write(Vt, Pending.data(), whole);
    Pending.erase(0, whole);
    return true;
  }
  int Fd() const { return Master; }

  void Resize(int rows, int cols) {
    winsize ws{};
    ws.ws_row = uint16_t(rows);
    ws.ws_col = uint16_t(cols);
    ioctl(Master, TIOCSWINSZ, &ws);
  }
  // The emulator follows the terminal's size.
  void ResizeEmulator(int rows, int cols) {
    Rows = rows;
    Cols = cols;
    vterm_set_size(Vt, rows, cols);
  }

  // Row r (from 0), trailing blanks cut.
  std::string Row(int r) const {
    std::string s;
    for (int c = 0; c < Cols; ++c) {
      VTermScreenCell vc{};
      vterm_screen_get_cell(Screen, VTermPos{r, c}, &vc);
      s += vc.chars[0] == 0 ? std::string(" ") : Utf8(vc.chars[0]);
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  std::string Text() const {
    std::string s;
    for (int r = 0; r < Rows; ++r) s += Row(r) + "\n";
    return s;
  }
  // How cell (r, c) looks: the colours it shows after reverse video (-1,
  // -2 the default foreground and background), bold, underline, blink.
  std::string Looks(int r, int c) const {
    VTermScreenCell vc{};
    vterm_screen_get_cell(Screen, VTermPos{r, c}, &vc);
    int fg = VTERM_COLOR_IS_DEFAULT_FG(&vc.fg) ? -1 : vc.fg.indexed.idx;
    int bg = VTERM_COLOR_IS_DEFAULT_BG(&vc.bg) ? -2 : vc.bg.indexed.idx;
    if (vc.attrs.reverse) std::swap(fg, bg);
    return std::to_string(fg) + "/" + std::to_string(bg) + (vc.attrs.bold ? "b" : "") +
           (vc.attrs.underline ? "u" : "") + (vc.attrs.blink ? "k" : "");
  }
  bool Blinks(int r, int c) const {
    VTermScreenCell vc{};
    vterm_screen_get_cell(Screen, VTermPos{r, c}, &vc);
    return vc.attrs.blink;
  }

  // Waits up to ms for the program to end; its wait status, or -1.
  int WaitExit(int ms) {
    const int64_t end = NowMs() + ms;
    while (NowMs() < end) {
      Settle(20, 50);
      int st = 0;
      if (waitpid(Pid, &st, WNOHANG) == Pid) {
        Ended = true;
        return st;
      }
    }
    return -1;
  }

  pid_t Pid = -1;
  int Rows, Cols;
  std::string Bytes;  // everything the program wrote

 private:
  int Master = -1;
  bool Ended = false;
  std::string Pending;  // an incomplete character at the end of a read
  VTerm* Vt = nullptr;
  VTermScreen* Screen = nullptr;
};

// Settle for several programs at once: reads from all of them until each
// has been quiet for quietMs (at most limitMs); for each, whether anything
// came.
std::vector<bool> SettleAll(const std::vector<std::unique_ptr<PtyEditor>>& eds, int quietMs = 150,
                            int limitMs = 4000) {
  const int64_t end = NowMs() + limitMs;
  std::vector<int64_t> last(eds.size(), NowMs());
  std::vector<bool> any(eds.size(), false), open(eds.size(), true);
  for (;;) {
    const int64_t now = NowMs();
    std::vector<pollfd> fds;
    std::vector<size_t> which;
    int64_t wait = end - now;
    for (size_t i = 0; i < eds.size(); ++i) {
      if (!open[i] || now - last[i] >= quietMs) continue;
      fds.push_back({eds[i]->Fd(), POLLIN, 0});
      which.push_back(i);
      wait = std::min<int64_t>(wait, quietMs - (now - last[i]));
    }
    if (fds.empty() || now >= end) return any;
    if (poll(fds.data(), fds.size(), int(std::max<int64_t>(wait, 0))) <= 0) continue;
    for (size_t k = 0; k < fds.size(); ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP))) continue;
      const size_t i = which[k];
      if (!eds[i]->ReadSome()) {
        open[i] = false;
        continue;
      }
      last[i] = NowMs();
      any[i] = true;
    }
  }
}

std::string Program(const char* name) { return std::string(VESK_BINARY_DIR) + "/" + name; }

// A key as the terminal of TERM sends it in keypad mode: its terminfo
// string, else xterm's.
std::string KeyBytes(const char* term, const char* cap, const char* xterm) {
  static const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  int err = 0;
  std::string s = xterm;
  if (setupterm(term, fd, &err) == 0) {
    char* v = tigetstr(const_cast<char*>(cap));
    if (v != nullptr && v != reinterpret_cast<char*>(-1) && *v) s = v;
  }
  return s;
}

struct Shot {
  std::string Name;
  std::vector<std::string> Text;
  std::vector<std::vector<std::string>> Looks;
  std::vector<std::vector<bool>> Blink;
};

Shot Take(const PtyEditor& ed, const std::string& name) {
  Shot s;
  s.Name = name;
  for (int r = 0; r < ed.Rows; ++r) {
    s.Text.push_back(ed.Row(r));
    std::vector<std::string> looks;
    std::vector<bool> blink;
    for (int c = 0; c < ed.Cols; ++c) {
      looks.push_back(ed.Looks(r, c));
      blink.push_back(ed.Blinks(r, c));
    }
    s.Looks.push_back(looks);
    s.Blink.push_back(blink);
  }
  return s;
}

// The screens of a short session: the start screen, a text with the
// cross-hair, a marked block, the main menu with its first and second item
// selected, a submenu, the exit question, and the help file in a second
// editor.  The sessions of all terminals run side by side, key by key.
std::map<std::string, std::vector<Shot>> Sessions(const std::vector<const char*>& terms, const ScratchDir& dir) {
  std::map<std::string, std::vector<Shot>> shots;
  std::vector<std::unique_ptr<PtyEditor>> eds;
  for (const char* term : terms) {
    const std::string d = dir.Path(term) + "/";
    std::filesystem::create_directories(d);
    {
      std::ofstream f(d + "text.txt");
      // Lines wider than the screen: the last column, and the bottom-right
      // cell, hold text.
      for (int i = 1; i <= 40; ++i)
        f << "line " << i << " of the text, with words to show the block and the cross-hair, and more words: "
          << i * 7 << "\n";
    }
    eds.push_back(std::make_unique<PtyEditor>(term, 25, 80,
                                              std::vector<std::string>{Program("vesk-koi8"), "-I" + d, "-X" + d, "text.txt"}, d));
  }
  // Keys as each terminal sends them.
  auto press = [&](const char* cap, const char* fallback) {
    for (size_t i = 0; i < eds.size(); ++i) eds[i]->Send(cap ? KeyBytes(terms[i], cap, fallback) : fallback);
    // A slow program (a sanitizer build, a busy machine) gets longer when
    // nothing came at first.
    const std::vector<bool> came = SettleAll(eds);
    for (size_t i = 0; i < eds.size(); ++i)
      if (!came[i]) eds[i]->Settle(500);
  };
  auto shot = [&](const char* name) {
    for (size_t i = 0; i < eds.size(); ++i) shots[terms[i]].push_back(Take(*eds[i], name));
  };
  // A program that has shown nothing yet is still starting (a sanitizer
  // build starts slowly): it gets up to five more seconds.
  const std::vector<bool> started = SettleAll(eds);
  for (size_t i = 0; i < eds.size(); ++i)
    for (int k = 0; k < 10 && !started[i] && !eds[i]->Settle(500); ++k) {
    }
  shot("start screen");
  press(nullptr, " ");
  shot("text");
  press(nullptr, "\x1bl");
  for (int i = 0; i < 3; ++i) press("kcud1", "\x1bOB");
  shot("line block");
  press("kf10", "\x1b[21~");
  shot("menu");
  press("kcuf1", "\x1bOC");
  shot("menu, second item");
  press(nullptr, "\r");
  shot("submenu");
  press(nullptr, "\x1b");
  press(nullptr, "\x1b");
  shot("menu closed");
  press(nullptr, "x");
  press(nullptr, "\x1b");
  press(nullptr, "\x1b");
  shot("exit question");
  press(nullptr, "3");
  shot("back in the text");
  press("kf1", "\x1bOP");
  // The help is a second program starting: slow builds take a while.
  for (auto& ed : eds)
    for (int k = 0; k < 20 && ed->Row(0).rfind("text.txt", 0) == 0; ++k) ed->Settle(150, 500);
  shot("help: start screen");
  press(nullptr, " ");
  shot("help");
  press("knp", "\x1b[6~");
  shot("help, page down");
  if (const char* dump = std::getenv("VESK_DUMP_BYTES"))
    for (size_t i = 0; i < eds.size(); ++i)
      if (std::string(terms[i]) == dump) std::ofstream(dir.Path("..") + "/vesk-bytes.out") << eds[i]->Bytes;
  return shots;
}

constexpr const char* kTerms[] = {"xterm-256color", "xterm",  "vt100",          "vt220",         "ansi",
                                  "linux",  "screen",         "screen-256color", "tmux-256color", "rxvt-unicode"};

bool HaveTerminfo(const char* term) {
  static const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  int err = 0;
  return setupterm(term, fd, &err) == 0 && err == 1;
}


}  // namespace

// Every TERM the editor meets shows the same text as xterm on every screen
// of a session, and what xterm shows highlighted (a marked block, the
// selected menu item, the cursor of the cross-hair: grey or bright
// backgrounds) stands out from the cells beside it everywhere.  Nothing
// blinks.  The line of what differs goes to the test's output.  One test per
// TERM, each beside its own xterm, so that they run in parallel.
class Terminals : public ::testing::TestWithParam<const char*> {};

TEST_P(Terminals, ScreensMatchXterm) {
  const char* term = GetParam();
  if (!HaveTerminfo(term)) GTEST_SKIP() << term << ": no terminfo entry";
  ASSERT_TRUE(HaveTerminfo("xterm-256color"));
  ScratchDir dir;
  std::map<std::string, std::vector<Shot>> sessions = Sessions({"xterm-256color", term}, dir);
  const std::vector<Shot>& ref = sessions["xterm-256color"];
  if (const char* show = std::getenv("VESK_SHOW_SCREENS"))
    for (const Shot& s : sessions[sessions.count(show) ? show : "xterm-256color"]) {
      std::printf("--- %s\n", s.Name.c_str());
      for (const std::string& r : s.Text) std::printf("|%s\n", r.c_str());
    }
  std::printf("%-16s %-8s %-12s %-12s %s\n", "TERM", "screens", "text same", "highlights", "other attribute edges lost");
  const std::vector<Shot>& got = sessions[term];
  ASSERT_EQ(got.size(), ref.size());
  int textSame = 0, hiLost = 0, edgesLost = 0, blinking = 0;
  for (size_t k = 0; k < ref.size(); ++k) {
    const Shot& a = ref[k];
    const Shot& b = got[k];
    bool same = a.Text == b.Text;
    textSame += same;
    EXPECT_TRUE(same) << term << ", " << a.Name << ":\n"
                      << testing::PrintToString(a.Text) << "\n"
                      << testing::PrintToString(b.Text);
    for (size_t r = 0; r < a.Looks.size(); ++r) {
      for (size_t c = 0; c < a.Looks[r].size(); ++c) {
        blinking += b.Blink[r][c];
        if (c == 0) continue;
        const std::string &l = a.Looks[r][c - 1], &rr = a.Looks[r][c];
        if (l == rr) continue;
        // xterm shows an edge here: does TERM?
        const bool lost = b.Looks[r][c - 1] == b.Looks[r][c];
        auto high = [](const std::string& looks) {
          const int bg = std::atoi(looks.substr(looks.find('/') + 1).c_str());
          return bg == 7 || bg >= 8;
        };
        const bool highlight = high(l) != high(rr);
        if (lost && highlight) {
          ++hiLost;
          ADD_FAILURE() << term << ", " << a.Name << ": row " << r + 1 << " column " << c + 1 << ": xterm shows "
                        << l << " | " << rr << ", " << term << " shows " << b.Looks[r][c];
        }
        if (lost && !highlight) ++edgesLost;
      }
    }
  }
  EXPECT_EQ(blinking, 0) << term;
  std::printf("%-16s %-8zu %-12s %-12s %d\n", term, ref.size(),
              (std::to_string(textSame) + "/" + std::to_string(ref.size())).c_str(),
              hiLost == 0 ? "all shown" : (std::to_string(hiLost) + " lost").c_str(), edgesLost);
}

// The first TERM, xterm-256color, is the one the others are held against.
INSTANTIATE_TEST_SUITE_P(Term, Terminals, ::testing::ValuesIn(std::begin(kTerms) + 1, std::end(kTerms)),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Resizes that come while the editor is drawing: a terminal made smaller
// and at once larger again, the second change landing at a random moment
// (within 0.4 ms) of the redraw the first one started.  Every time, without a key, the
// editor ends up drawing the whole screen at the larger size (a resize it
// missed would leave the bottom rows blank after the redraw for the small
// size cleared them).  The 200 pairs come in four quarters that run in
// parallel, each on its own editor, with the pauses of one sequence.
class Resizes : public ::testing::TestWithParam<int> {};

TEST_P(Resizes, WhileDrawingAreNeverMissed) {
  constexpr int kPairs = 50;
  ScratchDir dir;
  {
    std::ofstream f(dir.Path("text.txt"));
    for (int i = 1; i <= 40; ++i) f << "row " << i << " xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\n";
  }
  PtyEditor ed("xterm-256color", 25, 80,
               {Program("vesk-koi8"), "-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"}, dir.Path(""));
  ed.Settle();
  ASSERT_EQ(ed.Row(24).substr(0, 7), "row 23 ") << ed.Text();
  unsigned seed = 7;
  for (int pair = 0; pair < GetParam() * kPairs; ++pair) seed = seed * 1103515245u + 12345u;
  int missed = 0;
  for (int pair = 0; pair < kPairs; ++pair) {
    seed = seed * 1103515245u + 12345u;
    ed.Resize(12, 50);
    const timespec pause{0, long((seed >> 8) % 400) * 1000};
    nanosleep(&pause, nullptr);
    ed.Resize(25, 80);
    ed.Settle(60, 2000);
    // A missed resize is never redrawn without a key: a longer look only
    // spares a slow program.
    if (ed.Row(24).substr(0, 7) != "row 23 ") ed.Settle(500, 2000);
    if (ed.Row(24).substr(0, 7) != "row 23 ") {
      ++missed;
      // Let the next pair start from a whole screen again.
      ed.Send(" ");
      ed.Settle(60, 2000);
      ed.Send("\x7f");
      ed.Settle(60, 2000);
    }
  }
  EXPECT_EQ(missed, 0) << "of " << kPairs << " resize pairs";
}

INSTANTIATE_TEST_SUITE_P(Quarter, Resizes, ::testing::Range(0, 4));
