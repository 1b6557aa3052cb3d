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

#include "screen/keycoding.h"
#include "screen/keydecode.h"
#include "screen/keys.h"
#include "screen/output.h"
#include "screen/termkeys.h"

#undef lines
#undef columns

namespace {

volatile sig_atomic_t SizeChanged = 0;
volatile sig_atomic_t Continued = 0;

// What the crash handler writes to give the terminal back; prepared before
// the screen is taken over so that the handler only calls write().
char RestoreBytes[512];
volatile size_t RestoreLength = 0;
struct termios SavedModes;
bool ModesSaved = false;
bool TakenOver = false;

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A capability as the bytes to send: padding processed.
std::string Cap(const char* name) { return TerminalCap(name); }

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

// A signal that arrives between the last look at the flags and the wait
// for input would otherwise go unnoticed until the next key: every handler
// also writes a byte into this pipe, which the wait watches.
int WakePipe[2] = {-1, -1};

void Wake() {
  if (WakePipe[1] < 0) return;
  const int saved = errno;
  const char b = 0;
  ssize_t w = write(WakePipe[1], &b, 1);  // a full pipe already wakes the wait
  (void)w;
  errno = saved;
}

void OnClosingSignal(int sig) {
  ClosingSignal = sig;
  Wake();
}
void OnSizeChange(int) {
  SizeChanged = 1;
  Wake();
}
void OnContinue(int) {
  Continued = 1;
  Wake();
}

// A stop from outside (kill -TSTP, a shell's job control; the editor's own
// Ctrl+Z is a key): the shell gets its screen and modes back before the
// editor stops, and the editor takes the terminal again when continued.
// Screen updates hold the signal back, so it never cuts a sequence apart.
void OnStop(int sig) {
  const int saved = errno;
  RestoreFromHandler();
  signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  // Continued, or never stopped (an orphaned process group ignores the
  // stop): either way the terminal is to be taken again.
  struct sigaction sa {};
  sigemptyset(&sa.sa_mask);
  sa.sa_handler = OnStop;
  sigaction(sig, &sa, nullptr);
  Continued = 1;
  Wake();
  errno = saved;
}

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
    Decoder.Configure(TermKeyCoding.Set, in, timeout);
    std::string kbs = Cap("kbs");
    Decoder.SetBackspaceByte(kbs.size() == 1 ? uint8_t(kbs[0]) : 0x7F);
    AddTerminfoKeys(Decoder);

    Output.Init(TermKeyCoding.Set, out);
    Output.SetTerminalSize(Setup.Columns, Setup.Rows);

    // Besides the terminfo modes: pastes come bracketed (terminals that do
    // not know the mode ignore it), and in xterm and the terminals that call
    // themselves xterm Alt sends an Esc prefix rather than setting the eighth
    // bit (metaSendsEscape).  That mode is saved first and put back as it
    // was (XTSAVE, XTRESTORE), so a user's own setting survives; other
    // families send the prefix anyway, and some would read the save and
    // restore requests as other sequences.
    const char* term = std::getenv("TERM");
    const bool xterm = term && std::strncmp(term, "xterm", 5) == 0;
    Enter = Cap("smcup") + Cap("smkx") + (xterm ? "\x1b[?1036s\x1b[?1036h" : "") + "\x1b[?2004h";
    Leave = std::string("\x1b[?2004l") + (xterm ? "\x1b[?1036r" : "") + Output.ResetSequence() + Cap("cnorm") +
            Cap("rmkx") + Cap("rmcup");
    CursorStyle = Cap("Ss");
    CursorReset = Cap("Se");
    PrepareRestoreBytes();

    if (tcgetattr(STDIN_FILENO, &SavedModes) == 0) ModesSaved = true;
    if (ModesSaved) SetRawModes();
    TakenOver = true;
    EnterScreen();
    // Does the terminal speak the keyboard protocol that reports Esc as a
    // sequence of its own?  The device-attributes query behind it is
    // answered by nearly every terminal and ends the wait for an answer;
    // the answers arrive among the keys and nobody waits for them.
    WriteAll(ProtocolQuery, sizeof ProtocolQuery - 1);
    QueryMs = NowMs();
    Listening = true;
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
      TakenOver = true;
      EnterScreen();
      Output.Invalidate();  // the shell has written in between
      RereadSize();  // the terminal may have changed while the editor was stopped
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
      // Bytes already waiting are read before the timeout decides about an
      // unfinished key: a slow turn must not cut a key in two.
      if (Decoder.Pending() && now >= Decoder.Deadline() && ReadWaiting()) now = NowMs();
      PhysKey k;
      while (Decoder.Next(k, now)) {
        if (k.Id == K_Paste) {
          Kbd.Pastes.push_back(Decoder.TakePaste());
          Kbd.Queue.push_back(PasteKeyCode);
          continue;
        }
        uint32_t code = KeyCodeOf(k);
        if (code != 0) Kbd.Queue.push_back(code);
      }
      TakeAnswers(now);
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
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {WakePipe[0], POLLIN, 0}};
      int r = poll(fds, WakePipe[0] >= 0 ? 2 : 1, int(wait));
      if (r < 0) {
        if (errno == EINTR) continue;
        throw InputLost{};
      }
      if (r == 0) continue;
      if (WakePipe[0] >= 0 && (fds[1].revents & POLLIN)) {
        char drain[64];
        while (read(WakePipe[0], drain, sizeof drain) > 0) {
        }
      }
      const pollfd& pfd = fds[0];
      if (pfd.revents == 0) continue;
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

  void Pause(int ms) override {
    // A key that comes ends the pause and stays queued; a closing signal
    // ends it too (Poll throws).
    Poll(ms);
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
      EnterScreen();
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
    sigset_t stop, old;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_BLOCK, &stop, &old);
    WriteAll(OutBuf.data(), OutBuf.size());
    sigprocmask(SIG_SETMASK, &old, nullptr);
  }

  void EnterScreen() {
    std::string bytes = Enter;
    if (Disambiguating) bytes += ProtocolPush;
    WriteAll(bytes.data(), bytes.size());
  }

  // Reads what the terminal has sent already, without waiting.  True when
  // something came.
  bool ReadWaiting() {
    bool any = false;
    for (;;) {
      pollfd pfd{STDIN_FILENO, POLLIN, 0};
      if (poll(&pfd, 1, 0) <= 0 || !(pfd.revents & POLLIN)) return any;
      char buf[4096];
      ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n <= 0) return any;  // the main wait sees an error or the end
      Decoder.Feed(std::string_view(buf, size_t(n)), NowMs());
      any = true;
    }
  }

  // The terminal's answers to the start-up queries.  A keyboard-protocol
  // answer before the device attributes (and within a second) switches the
  // protocol on: Esc, Alt and Ctrl keys then come as unambiguous sequences.
  void TakeAnswers(int64_t now) {
    const bool protocol = Decoder.TakeProtocolReply();
    const bool attributes = Decoder.TakeAttributesReply();
    if (!Listening) return;
    if (protocol && !Disambiguating && now - QueryMs <= 1000) {
      Disambiguating = true;
      Leave = ProtocolPop + Leave;
      PrepareRestoreBytes();
      WriteAll(ProtocolPush, sizeof ProtocolPush - 1);
    }
    if (attributes || now - QueryMs > 1000) Listening = false;
  }

  void LeaveScreen() {
    std::string bytes = Leave;
    if (ShapeChanged) bytes = CursorReset + bytes;
    WriteAll(bytes.data(), bytes.size());
    if (ModesSaved) tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedModes);
    TakenOver = false;
  }

  // The crash handler may run at any moment: the length is zero while the
  // bytes change.
  void PrepareRestoreBytes() {
    std::string bytes = CursorReset + Leave;
    RestoreLength = 0;
    std::memcpy(RestoreBytes, bytes.data(), std::min(bytes.size(), sizeof RestoreBytes));
    RestoreLength = std::min(bytes.size(), sizeof RestoreBytes);
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
  // The keyboard protocol: asked at QueryMs, answers taken while Listening,
  // its "disambiguate" flag pushed while Disambiguating.
  static constexpr char ProtocolQuery[] = "\x1b[?u\x1b[c";
  static constexpr char ProtocolPush[] = "\x1b[>1u";
  static constexpr char ProtocolPop[] = "\x1b[<u";
  int64_t QueryMs = 0;
  bool Listening = false;
  bool Disambiguating = false;
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
  // A terminal that would scroll when its bottom-right cell is written,
  // and cannot put a character there by inserting, gets the editor's screen
  // one row shorter: no text ever needs the cell it cannot show.
  setup.ScreenRows = !CornerDrawable() && rows > 3 ? rows - 1 : rows;
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
  sa.sa_handler = OnStop;
  sigaction(SIGTSTP, &sa, nullptr);
  if (WakePipe[0] < 0 && pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) WakePipe[0] = WakePipe[1] = -1;
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
