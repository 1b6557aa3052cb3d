// The real program on a pseudo-terminal, the test playing the terminal: the
// modes the editor sets and gives back on every way out, keys cut in two
// while the editor cannot read, and the keyboard protocol that reports Esc
// at once.  What the program draws is read through libvterm.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vterm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch.h"

namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One editor on a pty of 80x25.
class PtyEditor {
 public:
  // env: extra "NAME=value" settings.
  PtyEditor(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {})
      : Vt(vterm_new(25, 80)) {
    vterm_set_utf8(Vt, 1);
    Screen = vterm_obtain_screen(Vt);
    vterm_screen_reset(Screen, 1);
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) return;
    const std::string slave = ptsname(Master);
    winsize ws{};
    ws.ws_row = 25;
    ws.ws_col = 80;
    ioctl(Master, TIOCSWINSZ, &ws);
    std::vector<std::string> argv{std::string(VESK_BINARY_DIR) + "/" + program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envv{"TERM=xterm-256color", "LANG=C.UTF-8", "LC_ALL=C.UTF-8",
                                  "HOME=" + std::string(getenv("HOME") ? getenv("HOME") : "/")};
    if (const char* p = getenv("PATH")) envv.push_back(std::string("PATH=") + p);
    // The program keeps its text until it ends, on purpose: a sanitizer
    // build is not to call that a leak.
    envv.push_back("ASAN_OPTIONS=detect_leaks=0");
    for (const std::string& e : env) {  // a setting given replaces the default one
      const std::string name = e.substr(0, e.find('=') + 1);
      for (std::string& d : envv)
        if (d.rfind(name, 0) == 0) d.clear();
      envv.push_back(e);
    }
    std::erase(envv, std::string());
    Pid = fork();
    if (Pid == 0) {
      setsid();
      int s = open(slave.c_str(), O_RDWR);
      if (s < 0) _exit(126);
      ioctl(s, TIOCSCTTY, 0);
      dup2(s, 0);
      dup2(s, 1);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      close(Master);
      std::vector<char*> a, e;
      for (auto& x : argv) a.push_back(x.data());
      a.push_back(nullptr);
      for (auto& x : envv) e.push_back(x.data());
      e.push_back(nullptr);
      execve(a[0], a.data(), e.data());
      _exit(127);
    }
  }
  ~PtyEditor() {
    if (Pid > 0 && !Exited) {
      kill(Pid, SIGCONT);
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Master >= 0) close(Master);
    vterm_free(Vt);
  }

  bool Started() const { return Pid > 0 && Master >= 0; }

  // Reads what the program wrote, for at most ms.
  void Read(int ms) {
    const int64_t end = NowMs() + ms;
    for (;;) {
      int64_t left = end - NowMs();
      pollfd p{Master, POLLIN, 0};
      int r = poll(&p, 1, int(std::max<int64_t>(0, left)));
      if (r > 0 && (p.revents & POLLIN)) {
        char buf[8192];
        ssize_t n = read(Master, buf, sizeof buf);
        if (n > 0) {
          Out.append(buf, size_t(n));
          vterm_input_write(Vt, buf, size_t(n));
          continue;
        }
      }
      if (r < 0 && errno == EINTR) continue;
      if (left <= 0 || r != 0) return;
    }
  }

  // Reads until the output since `from` holds text (or ms passed).
  bool WaitOutput(const std::string& text, int ms, size_t from = 0) {
    const int64_t end = NowMs() + ms;
    while (Out.find(text, from) == std::string::npos) {
      if (NowMs() >= end) return false;
      Read(20);
    }
    return true;
  }

  // Reads until some screen row holds text.
  bool WaitScreen(const std::string& text, int ms) {
    const int64_t end = NowMs() + ms;
    for (;;) {
      for (int r = 0; r < 25; ++r)
        if (Row(r).find(text) != std::string::npos) return true;
      if (NowMs() >= end) return false;
      Read(20);
    }
  }

  std::string Row(int row) {
    std::string s;
    for (int c = 0; c < 80; ++c) {
      VTermScreenCell cell;
      vterm_screen_get_cell(Screen, VTermPos{row, c}, &cell);
      uint32_t ch = cell.chars[0] ? cell.chars[0] : ' ';
      if (ch < 0x80) {
        s += char(ch);
      } else if (ch < 0x800) {
        s += char(0xC0 | (ch >> 6));
        s += char(0x80 | (ch & 0x3F));
      } else {
        s += char(0xE0 | (ch >> 12));
        s += char(0x80 | ((ch >> 6) & 0x3F));
        s += char(0x80 | (ch & 0x3F));
      }
    }
    return s;
  }

  void Write(const std::string& bytes) { ASSERT_EQ(write(Master, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

  // Waits for the program to end; its status as the shell shows it, -1 when
  // it did not end in time.
  int WaitExit(int ms) {
    const int64_t end = NowMs() + ms;
    for (;;) {
      int st = 0;
      pid_t r = waitpid(Pid, &st, WNOHANG);
      if (r == Pid) {
        Exited = true;
        Read(50);
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      }
      if (NowMs() >= end) return -1;
      Read(5);
    }
  }

  pid_t Pid = -1;
  int Master = -1;
  bool Exited = false;
  std::string Out;
  VTerm* Vt;
  VTermScreen* Screen;
};

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

const char kXtermModesOn[] = "\x1b[?1036s\x1b[?1036h\x1b[?2004h";
const char kXtermModesOff[] = "\x1b[?2004l\x1b[?1036r";

// Every way out gives back Alt's Esc prefix (as it was) and bracketed paste:
// Esc, a closing signal, a crash.
TEST(TtyPty, ModesAreSetAndGivenBackOnEveryWayOut) {
  ScratchDir dir;
  WriteFile(dir.Path("text.txt"), "one\ntwo\n");
  struct Way {
    const char* Name;
    int Signal;  // 0: Esc
    int Status;
  };
  for (const Way& w : {Way{"Esc", 0, 0}, Way{"SIGTERM", SIGTERM, 128 + SIGTERM}, Way{"SIGHUP", SIGHUP, 128 + SIGHUP},
                       Way{"SIGSEGV", SIGSEGV, 128 + SIGSEGV}}) {
    SCOPED_TRACE(w.Name);
    PtyEditor ed("vesk-koi8", {"-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"});
    ASSERT_TRUE(ed.Started());
    ASSERT_TRUE(ed.WaitScreen("line=1", 5000)) << ed.Row(0);
    EXPECT_NE(ed.Out.find(kXtermModesOn), std::string::npos);
    const size_t before = ed.Out.size();
    if (w.Signal == 0) ed.Write("\x1b");
    else kill(ed.Pid, w.Signal);
    EXPECT_EQ(ed.WaitExit(5000), w.Status);
    EXPECT_NE(ed.Out.find(kXtermModesOff, before), std::string::npos);
    // Nothing turns them on again afterwards.
    EXPECT_EQ(ed.Out.find("\x1b[?2004h", before), std::string::npos);
  }
}

// Other families send Alt as an Esc prefix anyway and are not asked: st
// and others read xterm's save and restore requests as other sequences.
TEST(TtyPty, OnlyXtermIsAskedForTheEscPrefix) {
  ScratchDir dir;
  WriteFile(dir.Path("text.txt"), "one\n");
  for (const char* term : {"rxvt-unicode-256color", "screen-256color", "linux"}) {
    SCOPED_TRACE(term);
    PtyEditor ed("vesk-koi8", {"-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"}, {std::string("TERM=") + term});
    ASSERT_TRUE(ed.Started());
    ASSERT_TRUE(ed.WaitScreen("line=1", 5000)) << ed.Row(0);
    ed.Write("\x1b");
    EXPECT_EQ(ed.WaitExit(5000), 0);
    EXPECT_NE(ed.Out.find("\x1b[?2004h"), std::string::npos);
    EXPECT_NE(ed.Out.find("\x1b[?2004l"), std::string::npos);
    EXPECT_EQ(ed.Out.find("1036"), std::string::npos);
  }
}

// A key whose bytes the terminal sends in two writes while the editor is
// busy (here: the pause of a refused character, 777 ms) is still one key:
// bytes already waiting are read before the lone-Esc timeout decides.
TEST(TtyPty, KeyCutInTwoWhileTheEditorIsBusyStaysOneKey) {
  ScratchDir dir;
  const std::string full(254, 'x');  // a word as long as a line: one more character is refused
  WriteFile(dir.Path("text.txt"), full + "\ntwo\nthree\n");
  PtyEditor ed("vesk-koi8", {"-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"}, {"VESK_ESC_TIMEOUT=300"});
  ASSERT_TRUE(ed.Started());
  ASSERT_TRUE(ed.WaitScreen("line=1 ", 5000)) << ed.Row(0);
  ed.Write("\x1bOF");  // End
  ASSERT_TRUE(ed.WaitScreen("column=255", 5000)) << ed.Row(0);
  // "x" is refused; Down (ESC O B) comes cut after its Esc, and the rest
  // arrives while the editor cannot run (stopped here, as a slow turn
  // would keep it) until long after the lone-Esc timeout.
  ed.Write("x\x1b");
  SleepMs(30);
  kill(ed.Pid, SIGSTOP);
  ed.Write("OB");
  SleepMs(600);
  kill(ed.Pid, SIGCONT);
  EXPECT_TRUE(ed.WaitScreen("line=2 ", 3000)) << ed.Row(0) << "\n" << ed.Row(1);
  ed.Read(200);
  EXPECT_EQ(ed.Row(0).find("Записать"), std::string::npos) << ed.Row(0);
  EXPECT_EQ(ed.WaitExit(0), -1) << "the editor ended";
  // The refused character counts as a change: Esc asks, 2 leaves it.
  ed.Write("\x1b");
  EXPECT_TRUE(ed.WaitScreen("Записать", 3000)) << ed.Row(0);
  ed.Write("2");
  EXPECT_EQ(ed.WaitExit(3000), 3);
}

// Where the terminal answers the keyboard-protocol query, the editor pushes
// "disambiguate", Esc comes as CSI 27 u and ends the editor without waiting
// for the lone-Esc timeout, and the flag is popped on the way out.  A
// terminal that answers only the device attributes gets none of it.
TEST(TtyPty, KeyboardProtocolMakesEscImmediate) {
  ScratchDir dir;
  WriteFile(dir.Path("text.txt"), "one\ntwo\n");
  for (bool speaks : {true, false}) {
    SCOPED_TRACE(speaks ? "protocol" : "no protocol");
    PtyEditor ed("vesk-koi8", {"-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"}, {"VESK_ESC_TIMEOUT=1500"});
    ASSERT_TRUE(ed.Started());
    ASSERT_TRUE(ed.WaitOutput("\x1b[?u\x1b[c", 5000));
    // A key typed before the answers is kept.
    ed.Write("\x1bOB");
    ed.Write(speaks ? "\x1b[?0u\x1b[?62;22c" : "\x1b[?62;22c");
    ASSERT_TRUE(ed.WaitScreen("line=2 ", 5000)) << ed.Row(0);
    ed.Read(100);
    EXPECT_EQ(ed.Out.find("\x1b[>1u") != std::string::npos, speaks);
    const size_t before = ed.Out.size();
    const int64_t start = NowMs();
    ed.Write(speaks ? "\x1b[27u" : "\x1b");
    EXPECT_EQ(ed.WaitExit(5000), 0);
    const int64_t took = NowMs() - start;
    if (speaks) {
      EXPECT_LT(took, 1000) << "Esc waited for the timeout";
      EXPECT_NE(ed.Out.find("\x1b[<u", before), std::string::npos);
    } else {
      EXPECT_GE(took, 1400) << "a lone Esc byte must wait for the timeout";
      EXPECT_EQ(ed.Out.find("\x1b[<u"), std::string::npos);
    }
  }
}

// A paste of thousands of lines goes in whole and quickly, one line of text
// per pasted line, the rest of the cursor line after it; a line longer than
// a line can hold goes on in the next line rather than losing its end.
TEST(TtyPty, LargePasteIsWholeAndQuick) {
  ScratchDir dir;
  WriteFile(dir.Path("text.txt"), "head tail\n");
  PtyEditor ed("vesk-koi8", {"-w", "-I" + dir.Path(""), "-X" + dir.Path(""), "text.txt"});
  ASSERT_TRUE(ed.Started());
  ASSERT_TRUE(ed.WaitScreen("line=1 ", 5000)) << ed.Row(0);
  ed.Write("\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C");  // before "tail"
  ASSERT_TRUE(ed.WaitScreen("column=6 ", 5000)) << ed.Row(0);
  std::string paste, expect = "head ";
  const int kLines = 5000;
  for (int i = 1; i <= kLines; ++i) {
    std::string line = "pasted line " + std::to_string(i) + " Съешь же ещё этих мягких булок";
    paste += line + (i % 2 ? "\r\n" : "\n");
    expect += line + "\n";
  }
  const std::string longLine(300, 'w');
  paste += longLine;
  expect += std::string(longLine, 0, 250) + "\n" + std::string(longLine, 250) + "tail\n";
  const int64_t start = NowMs();
  ed.Write("\x1b[200~");
  for (size_t at = 0; at < paste.size(); at += 4096) ed.Write(paste.substr(at, 4096));
  ed.Write("\x1b[201~");
  ASSERT_TRUE(ed.WaitScreen("size=" + std::to_string(kLines + 2) + " ", 30000)) << ed.Row(0);
  const int64_t took = NowMs() - start;
  std::printf("a paste of %d lines took %lld ms\n", kLines, static_cast<long long>(took));
  EXPECT_LT(took, 10000);
  ed.Write("\x1b[12~");  // F2: save
  ed.Read(300);
  ed.Write("\x1b");
  EXPECT_EQ(ed.WaitExit(5000), 0);
  std::ifstream in(dir.Path("text.txt"), std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The file is KOI8-R; compare its ASCII and its line structure.
  std::string savedAscii, expectAscii;
  for (char c : saved) savedAscii += uint8_t(c) < 0x80 ? c : '#';
  for (size_t i = 0; i < expect.size(); ++i) {
    const uint8_t c = uint8_t(expect[i]);
    if (c < 0x80) expectAscii += char(c);
    else if ((c & 0xC0) == 0xC0) expectAscii += '#';
  }
  EXPECT_EQ(savedAscii.size(), expectAscii.size());
  // Where the long line is cut is the line store's business (a line holds
  // at most 255 bytes); the text and the number of lines are the paste's.
  auto lineCount = [](const std::string& t) { return std::count(t.begin(), t.end(), '\n'); };
  EXPECT_EQ(lineCount(savedAscii), lineCount(expectAscii));
  auto joined = [](std::string t) {
    t.erase(std::remove(t.begin(), t.end(), '\n'), t.end());
    return t;
  };
  const std::string a = joined(savedAscii), b = joined(expectAscii);
  size_t diff = 0;
  while (diff < a.size() && diff < b.size() && a[diff] == b[diff]) ++diff;
  EXPECT_TRUE(a == b) << "the saved text differs from the paste at " << diff << ": [" << a.substr(diff > 40 ? diff - 40 : 0, 120)
                      << "] expected [" << b.substr(diff > 40 ? diff - 40 : 0, 120) << "]";
  EXPECT_LE(saved.find("wtail"), saved.size());
}

}  // namespace
