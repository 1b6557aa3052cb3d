#include "screen/tty.h"

#include <curses.h>
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "builds/keymap.h"
#include "screen/keydecode.h"
#include "screen/keys.h"
#include "screen/output.h"

#undef lines
#undef columns

namespace {

volatile sig_atomic_t ClosingSignal = 0;
volatile sig_atomic_t SizeChanged = 0;
volatile sig_atomic_t Continued = 0;

// What the crash handler writes to give the terminal back; prepared before
// the screen is taken over so that the handler only calls write().
char RestoreBytes[512];
size_t RestoreLength = 0;
struct termios SavedModes;
bool ModesSaved = false;
bool TakenOver = false;

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Cap(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return {};
  return s;
}

void WriteAll(const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(STDOUT_FILENO, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;  // the terminal is gone; nothing more to do
    }
    p += w;
    n -= size_t(w);
  }
}

void RestoreFromHandler() {
  if (!TakenOver) return;
  WriteAll(RestoreBytes, RestoreLength);
  if (ModesSaved) tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedModes);
  TakenOver = false;
}

void OnClosingSignal(int sig) { ClosingSignal = sig; }
void OnSizeChange(int) { SizeChanged = 1; }
void OnContinue(int) { Continued = 1; }

void OnCrash(int sig) {
  RestoreFromHandler();
  signal(sig, SIG_DFL);
  raise(sig);
}

void SetRawModes() {
  struct termios raw = SavedModes;
  raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  raw.c_oflag &= ~tcflag_t(OPOST);
  raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  raw.c_cflag &= ~tcflag_t(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
}

struct KeyCap {
  const char* Name;
  KeyId Id;
  uint8_t Mods;
};

// terminfo's key capabilities.  The extended names (kUP5 and the like) are
// xterm's modified cursor keys: 2 Shift, 3 Alt, 4 Shift+Alt, 5 Ctrl,
// 6 Ctrl+Shift, 7 Ctrl+Alt.
void AddTerminfoKeys(KeyDecoder& dec) {
  static const KeyCap Plain[] = {
      {"khome", K_Home, 0},  {"kend", K_End, 0},       {"kpp", K_PgUp, 0},    {"knp", K_PgDn, 0},
      {"kcuu1", K_Up, 0},    {"kcud1", K_Down, 0},     {"kcub1", K_Left, 0},  {"kcuf1", K_Right, 0},
      {"kich1", K_Insert, 0}, {"kdch1", K_Delete, 0},  {"kcbt", K_Tab, M_Shift}, {"kent", K_Enter, 0},
      {"kLFT", K_Left, M_Shift}, {"kRIT", K_Right, M_Shift}, {"kHOM", K_Home, M_Shift},
      {"kEND", K_End, M_Shift}, {"kIC", K_Insert, M_Shift}, {"kDC", K_Delete, M_Shift},
      {"kri", K_Up, M_Shift}, {"kind", K_Down, M_Shift}, {"kNXT", K_PgDn, M_Shift},
      {"kPRV", K_PgUp, M_Shift}, {"ka1", K_Home, 0}, {"ka3", K_PgUp, 0}, {"kc1", K_End, 0},
      {"kc3", K_PgDn, 0},
  };
  for (const KeyCap& k : Plain) {
    PhysKey p;
    p.Id = k.Id;
    p.Mods = k.Mods;
    dec.AddSequence(Cap(k.Name), p);
  }
  static const struct {
    const char* Base;
    KeyId Id;
  } Extended[] = {{"kUP", K_Up},   {"kDN", K_Down},  {"kLFT", K_Left}, {"kRIT", K_Right}, {"kHOM", K_Home},
                  {"kEND", K_End}, {"kIC", K_Insert}, {"kDC", K_Delete}, {"kNXT", K_PgDn}, {"kPRV", K_PgUp}};
  static const uint8_t ModsOfSuffix[8] = {0, 0, M_Shift, M_Alt, M_Shift | M_Alt, M_Ctrl, M_Ctrl | M_Shift,
                                          M_Ctrl | M_Alt};
  for (const auto& e : Extended) {
    for (int m = 2; m <= 7; ++m) {
      std::string name = std::string(e.Base) + (m == 2 ? "" : std::to_string(m));
      if (m == 2 && std::strcmp(e.Base, "kUP") != 0 && std::strcmp(e.Base, "kDN") != 0) continue;
      PhysKey p;
      p.Id = e.Id;
      p.Mods = ModsOfSuffix[m];
      dec.AddSequence(Cap(name.c_str()), p);
    }
  }
  // kf1..kf12 plain, then Shift, Ctrl, Ctrl+Shift, Alt, Alt+Shift.
  static const uint8_t GroupMods[6] = {0, M_Shift, M_Ctrl, M_Ctrl | M_Shift, M_Alt, M_Alt | M_Shift};
  for (int n = 1; n <= 63; ++n) {
    std::string name = "kf" + std::to_string(n);
    PhysKey p;
    p.Id = KeyId(K_F1 + (n - 1) % 12);
    p.Mods = GroupMods[(n - 1) / 12];
    dec.AddSequence(Cap(name.c_str()), p);
  }
}

class TtyTerminal : public Terminal {
 public:
  explicit TtyTerminal(const TtySetup& s) : Setup(s) {}

  void Start() {
    const char* codeset = nl_langinfo(CODESET);
    std::string cs = codeset ? codeset : "";
    for (char& c : cs) c = char(std::toupper(uint8_t(c)));
    InputEncoding in = InputEncoding::Utf8;
    OutputEncoding out = OutputEncoding::Utf8;
    if (cs == "KOI8-R" || cs == "KOI8R") {
      in = InputEncoding::Koi8;
      out = OutputEncoding::Koi8;
    } else if (cs == "CP866" || cs == "IBM866") {
      in = InputEncoding::Cp866;
      out = OutputEncoding::Cp866;
    }
    // ASCII-only locales ("C", "POSIX") still get UTF-8: today's terminals
    // speak it, and a '?' for every Cyrillic letter helps nobody.
    int timeout = 35;
    if (const char* e = std::getenv("VESK_ESC_TIMEOUT")) timeout = std::atoi(e);
    Decoder.Configure(CurrentBuild().Set, in, timeout);
    std::string kbs = Cap("kbs");
    Decoder.SetBackspaceByte(kbs.size() == 1 ? uint8_t(kbs[0]) : 0x7F);
    AddTerminfoKeys(Decoder);

    Output.Init(CurrentBuild().Set, out);
    Output.SetTerminalSize(Setup.Columns, Setup.Rows);

    Enter = Cap("smcup") + Cap("smkx");
    Leave = Output.ResetSequence() + Cap("cnorm") + Cap("rmkx") + Cap("rmcup");
    CursorStyle = Cap("Ss");
    CursorReset = Cap("Se");
    PrepareRestoreBytes();

    if (tcgetattr(STDIN_FILENO, &SavedModes) == 0) ModesSaved = true;
    if (ModesSaved) SetRawModes();
    TakenOver = true;
    WriteAll(Enter.data(), Enter.size());
  }

  void Flush(bool force) override {
    if (!force) {
      Held = true;
      return;
    }
    Render(true);
  }

  // A resized terminal or one given back after a stop is redrawn whole.
  void CatchUp() {
    bool redraw = false;
    if (SizeChanged) {
      SizeChanged = 0;
      RereadSize();
      redraw = true;
    }
    if (Continued) {
      Continued = 0;
      if (ModesSaved) SetRawModes();
      WriteAll(Enter.data(), Enter.size());
      redraw = true;
    }
    if (redraw) Render(true);
  }

  void Sync() override {
    if (Held) Render(false);
  }

  bool Poll(int timeoutMs) override {
    Sync();
    const int64_t start = NowMs();
    const int64_t deadline = timeoutMs < 0 ? -1 : start + timeoutMs;
    for (;;) {
      int64_t now = NowMs();
      PhysKey k;
      while (Decoder.Next(k, now)) {
        uint32_t code = KeyCodeFor(CurrentBuild(), k);
        if (code != 0) Kbd.Queue.push_back(code);
      }
      if (!Kbd.Queue.empty()) return true;
      if (ClosingSignal) throw InputLost{};
      CatchUp();
      if (deadline >= 0 && now >= deadline) return false;

      int64_t wait = deadline < 0 ? -1 : deadline - now;
      int64_t pending = Decoder.Deadline();
      if (pending >= 0) {
        int64_t w = std::max<int64_t>(0, pending - now) + 1;
        if (wait < 0 || w < wait) wait = w;
      }
      pollfd pfd{STDIN_FILENO, POLLIN, 0};
      int r = poll(&pfd, 1, int(wait));
      if (r < 0) {
        if (errno == EINTR) continue;
        throw InputLost{};
      }
      if (r == 0) continue;
      if (pfd.revents & POLLIN) {
        char buf[4096];
        ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n > 0) {
          Decoder.Feed(std::string_view(buf, size_t(n)), NowMs());
          continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        throw InputLost{};  // end of input or a read error: the terminal is gone
      }
      if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) throw InputLost{};
    }
  }

  void SetCursorShape(bool insert) override {
    // The console's own utility where there is one, else the terminal's
    // cursor-style capability: a blinking block for insert, a steady block
    // for overwrite.
    if (access("/usr/sbin/vidcontrol", X_OK) == 0 || access("/usr/bin/vidcontrol", X_OK) == 0) {
      std::string cmd = std::string("vidcontrol ") + (insert ? "-c blink" : "-c destructive") + " >/dev/null 2>&1";
      int rc = std::system(cmd.c_str());
      (void)rc;
      return;
    }
    if (CursorStyle.empty()) return;
    char* s = tiparm(CursorStyle.c_str(), insert ? 1 : 2);
    if (s) {
      WriteAll(s, std::strlen(s));
      ShapeChanged = true;
    }
  }

  void Suspend(bool suspend) override {
    if (suspend) {
      Sync();
      LeaveScreen();
    } else {
      if (ModesSaved) SetRawModes();
      TakenOver = true;
      WriteAll(Enter.data(), Enter.size());
      Output.Invalidate();
    }
  }

  void Restore() override {
    if (!TakenOver) return;
    LeaveScreen();
  }

 private:
  void Render(bool force) {
    Held = false;
    OutBuf.clear();
    Output.Render(Scr.ScreenCells, Scr.ScreenWidth, Scr.ScreenHeight, Scr.CursorColumn, Scr.CursorRow, force,
                  OutBuf);
    WriteAll(OutBuf.data(), OutBuf.size());
  }

  void LeaveScreen() {
    std::string bytes = Leave;
    if (ShapeChanged) bytes = CursorReset + bytes;
    WriteAll(bytes.data(), bytes.size());
    if (ModesSaved) tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedModes);
    TakenOver = false;
  }

  void PrepareRestoreBytes() {
    std::string bytes = CursorReset + Leave;
    RestoreLength = std::min(bytes.size(), sizeof RestoreBytes);
    std::memcpy(RestoreBytes, bytes.data(), RestoreLength);
  }

  void RereadSize() {
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
      Output.SetTerminalSize(ws.ws_col, ws.ws_row);
  }

  TtySetup Setup;
  KeyDecoder Decoder;
  ScreenOutput Output;
  std::string OutBuf, Enter, Leave, CursorStyle, CursorReset;
  bool ShapeChanged = false;
  bool Held = false;  // an unforced flush waits for the next Sync
};

TtyTerminal* TheTty = nullptr;

}  // namespace

int PendingSignal() { return ClosingSignal; }

bool ProbeTty(TtySetup& setup, std::string& error) {
  // Only the character set is taken from the locale (the terminal's
  // encoding); loading every category costs dozens of file look-ups at
  // each start.
  setlocale(LC_CTYPE, "");
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    error = "the editor needs a terminal on its standard input and output";
    return false;
  }
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    error = "TERM is not set";
    return false;
  }
  int err = 0;
  if (setupterm(term, STDOUT_FILENO, &err) != OK) {
    error = std::string("no terminal description for TERM=") + term;
    return false;
  }
  winsize ws{};
  int cols = 0, rows = 0;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0) {
    cols = ws.ws_col;
    rows = ws.ws_row;
  }
  if (cols <= 0) cols = tigetnum(const_cast<char*>("cols"));
  if (rows <= 0) rows = tigetnum(const_cast<char*>("lines"));
  if (cols <= 0) cols = 80;
  if (rows <= 0) rows = 24;
  setup.Columns = cols;
  setup.Rows = rows;
  if (rows < 3) {
    error = "the terminal has " + std::to_string(rows) + " rows; the editor needs at least 3";
    return false;
  }
  if (Cap("cup").empty()) {
    error = std::string("the terminal ") + term + " cannot address the cursor";
    return false;
  }
  return true;
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a waiting poll() must see the signal
  sa.sa_handler = OnClosingSignal;
  for (int s : {SIGHUP, SIGTERM, SIGINT, SIGQUIT}) sigaction(s, &sa, nullptr);
  sa.sa_handler = OnSizeChange;
  sigaction(SIGWINCH, &sa, nullptr);
  sa.sa_handler = OnContinue;
  sigaction(SIGCONT, &sa, nullptr);
  sa.sa_handler = OnCrash;
  sa.sa_flags = SA_RESETHAND;
  for (int s : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A file-size limit makes a write fail (EFBIG) instead of killing the
  // editor: the safe save then keeps the old file and says so.
  signal(SIGXFSZ, SIG_IGN);
}

Terminal* OpenTty(const TtySetup& setup) {
  InstallSignalHandlers();
  TheTty = new TtyTerminal(setup);
  TheTty->Start();
  return TheTty;
}
