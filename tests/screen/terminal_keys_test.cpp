// Every key docs/keys.md lists, sent as a given terminal sends it, through
// that terminal's terminfo entry and the key decoder: does it deliver the
// code the docs show, so that it runs its command?  A key a terminal cannot
// send apart from another (xterm's Ctrl+Tab is a Tab, the Linux console's
// Ctrl+F1 an F1, urxvt's Shift+F1 an F11) is counted as not sendable there.
//
// The terminals, with the modes the editor sets (keypad mode, Alt as an Esc
// prefix where the terminal knows the mode):
//   xterm        xterm as Debian ships it, the editor's metaSendsEscape on
//   xterm-8bit   the same xterm where the mode is not honoured: Alt sets
//                the eighth bit, which the UTF-8 locale makes "á" of Alt+a
//   urxvt        rxvt-unicode: VT220 function keys, rxvt's modifier finals
//   screen       GNU screen in a terminal that sends Alt as an Esc prefix:
//                plain keys in screen's own forms, modified ones as xterm's
//   tmux         tmux 3 with its default xterm-keys: xterm's forms
//   linux        the Linux console with its default keymap
// The counts are printed; every sendable key must reach its command except
// in xterm-8bit, the case the editor's mode request exists for.
#include <curses.h>
#include <term.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "builds/build.h"
#include "builds/keymap.h"
#include "screen/glyphs.h"
#include "screen/keydecode.h"
#include "screen/termkeys.h"

#undef lines
#undef columns

namespace {

enum class Term { Xterm, Xterm8bit, Urxvt, Screen, Tmux, Linux };

struct TermModel {
  Term Kind;
  const char* Name;
  const char* TermName;  // the TERM the editor sees
};

constexpr TermModel kTerms[] = {
    {Term::Xterm, "xterm", "xterm-256color"},       {Term::Xterm8bit, "xterm-8bit", "xterm-256color"},
    {Term::Urxvt, "urxvt", "rxvt-unicode-256color"}, {Term::Screen, "screen", "screen-256color"},
    {Term::Tmux, "tmux", "tmux-256color"},           {Term::Linux, "linux", "linux"},
};

std::string Utf8(char32_t u) { return Utf8Of(u); }

// xterm's modifier parameter.
int Param(uint8_t mods) {
  return 1 + ((mods & M_Shift) ? 1 : 0) + ((mods & M_Alt) ? 2 : 0) + ((mods & M_Ctrl) ? 4 : 0);
}

constexpr int kTilde[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};  // F1..F12 as CSI n ~

// The bytes term sends for key, or "" when it cannot send it apart from
// another key.
std::string Encode(Term t, const PhysKey& k, Charset set) {
  const bool shift = k.Mods & M_Shift, alt = k.Mods & M_Alt, ctrl = k.Mods & M_Ctrl;
  const bool xtermForms = t == Term::Xterm || t == Term::Xterm8bit || t == Term::Tmux || t == Term::Screen;
  const std::string esc = "\x1b";
  auto altPrefix = [&](const std::string& s) -> std::string {
    if (!alt) return s;
    if (t == Term::Xterm8bit) {
      // The eighth bit on a single byte, as UTF-8 of U+0080..U+00FF.
      if (s.size() != 1 || uint8_t(s[0]) >= 0x80) return s;  // no eighth bit to set: Alt is lost
      return Utf8(char32_t(0x80 | uint8_t(s[0])));
    }
    return esc + s;
  };
  switch (k.Id) {
    case K_Char: {
      const char32_t u = UnicodeOf(set, k.Ch);
      if (ctrl) {
        if (shift) return "";
        uint8_t b;
        if (k.Ch >= 'a' && k.Ch <= 'z') b = uint8_t(k.Ch - 'a' + 1);
        else if (k.Ch == ' ') b = 0;
        else return "";
        return altPrefix(std::string(1, char(b)));
      }
      if (alt && t == Term::Xterm8bit && u >= 0x80) return "";  // Alt on a non-ASCII key: lost
      return altPrefix(Utf8(u));
    }
    case K_Esc:
      return k.Mods ? "" : esc;
    case K_Tab:
      if (ctrl) return "";  // a Tab in all of them (no modifyOtherKeys)
      if (shift) return alt ? "" : "\x1b[Z";
      return altPrefix("\t");
    case K_Enter:
      if (ctrl || shift) return "";
      return altPrefix("\r");
    case K_Backspace:
      if (shift) return "";
      return altPrefix(ctrl ? "\x08" : "\x7f");
    default:
      break;
  }
  const bool fkey = k.Id >= K_F1 && k.Id <= K_F12;
  const int f = fkey ? k.Id - K_F1 + 1 : 0;
  if (t == Term::Linux) {
    if (k.Mods & (M_Alt | M_Ctrl)) return "";  // Alt+F switches consoles; Ctrl changes nothing
    if (fkey) {
      if (!shift) return f <= 5 ? std::string("\x1b[[") + char('A' + f - 1) : "\x1b[" + std::to_string(kTilde[f - 1]) + "~";
      // Shift+F1/F2 send F11/F12, Shift+F3..F10 the VT220's F13..F20.
      static const int shifted[] = {0, 0, 25, 26, 28, 29, 31, 32, 33, 34, 0, 0};
      return shifted[f - 1] ? "\x1b[" + std::to_string(shifted[f - 1]) + "~" : "";
    }
    if (shift) return "";
    switch (k.Id) {
      case K_Up: return "\x1b[A";
      case K_Down: return "\x1b[B";
      case K_Right: return "\x1b[C";
      case K_Left: return "\x1b[D";
      case K_Home: return "\x1b[1~";
      case K_Insert: return "\x1b[2~";
      case K_Delete: return "\x1b[3~";
      case K_End: return "\x1b[4~";
      case K_PgUp: return "\x1b[5~";
      case K_PgDn: return "\x1b[6~";
      default: return "";
    }
  }
  if (t == Term::Urxvt) {
    const char final = ctrl && shift ? '@' : ctrl ? '^' : shift ? '$' : '~';
    if (fkey) {
      int n = kTilde[f - 1];
      if (shift) {
        static const int shifted[] = {0, 0, 25, 26, 28, 29, 31, 32, 33, 34, 23, 24};
        n = shifted[f - 1];
        if (n == 0) return "";  // Shift+F1/F2 send F11/F12
      }
      const char fin = shift && f >= 3 && f <= 10 ? (ctrl ? '^' : '~') : final;
      return (alt ? esc : "") + "\x1b[" + std::to_string(n) + fin;
    }
    const std::string a = alt ? esc : "";
    if (ctrl && shift) return "";
    switch (k.Id) {
      case K_Up: return a + (ctrl ? "\x1bOa" : shift ? "\x1b[a" : "\x1bOA");
      case K_Down: return a + (ctrl ? "\x1bOb" : shift ? "\x1b[b" : "\x1bOB");
      case K_Right: return a + (ctrl ? "\x1bOc" : shift ? "\x1b[c" : "\x1bOC");
      case K_Left: return a + (ctrl ? "\x1bOd" : shift ? "\x1b[d" : "\x1bOD");
      case K_Home: return a + "\x1b[7" + final;
      case K_End: return a + "\x1b[8" + final;
      case K_Insert: return shift ? "" : a + "\x1b[2" + final;  // Shift+Insert pastes
      case K_Delete: return a + "\x1b[3" + final;
      case K_PgUp: return shift ? "" : a + "\x1b[5" + final;  // Shift+PgUp scrolls back
      case K_PgDn: return shift ? "" : a + "\x1b[6" + final;
      default: return "";
    }
  }
  (void)xtermForms;
  // xterm's forms (xterm, tmux, and screen for modified keys).
  const int m = Param(k.Mods);
  if (t == Term::Xterm8bit || t == Term::Xterm) {
    if (k.Id == K_Insert && shift && !ctrl && !alt) return "";  // Shift+Insert pastes
    if ((k.Id == K_PgUp || k.Id == K_PgDn) && shift && !ctrl && !alt) return "";  // scrolls back
  }
  if (fkey) {
    if (m == 1) {
      if (t == Term::Screen || f > 4) return f <= 4 ? std::string("\x1bO") + char('P' + f - 1) : "\x1b[" + std::to_string(kTilde[f - 1]) + "~";
      return std::string("\x1bO") + char('P' + f - 1);
    }
    if (f <= 4) return "\x1b[1;" + std::to_string(m) + char('P' + f - 1);
    return "\x1b[" + std::to_string(kTilde[f - 1]) + ";" + std::to_string(m) + "~";
  }
  char letter = 0;
  int tilde = 0;
  switch (k.Id) {
    case K_Up: letter = 'A'; break;
    case K_Down: letter = 'B'; break;
    case K_Right: letter = 'C'; break;
    case K_Left: letter = 'D'; break;
    case K_Home: letter = 'H'; tilde = 1; break;
    case K_End: letter = 'F'; tilde = 4; break;
    case K_Insert: tilde = 2; break;
    case K_Delete: tilde = 3; break;
    case K_PgUp: tilde = 5; break;
    case K_PgDn: tilde = 6; break;
    default: return "";
  }
  const bool tildeHomeEnd = t == Term::Screen || t == Term::Tmux;  // khome=\E[1~, kend=\E[4~
  if (m == 1) {
    if (letter && !(tildeHomeEnd && tilde)) return std::string("\x1bO") + letter;
    return "\x1b[" + std::to_string(tilde) + "~";
  }
  if (letter) return "\x1b[1;" + std::to_string(m) + letter;
  return "\x1b[" + std::to_string(tilde) + ";" + std::to_string(m) + "~";
}

struct DocRow {
  std::string Key;
  uint32_t Code;
};

// The keys docs/keys.md lists for a build, with their codes.
std::vector<DocRow> DocumentedKeys(const std::string& build) {
  std::ifstream in(std::string(VESK_SOURCE_DIR) + "/docs/keys.md");
  std::vector<DocRow> rows;
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) section = line.substr(3);
    if (section != build || line.rfind("| `", 0) != 0) continue;
    const size_t close = line.find("` | ", 3);
    if (close == std::string::npos) continue;
    if (line.find("| types ") != std::string::npos) continue;  // a character key, no command
    rows.push_back({line.substr(3, close - 3), uint32_t(std::stoul(line.substr(close + 4, 8), nullptr, 16))});
  }
  return rows;
}

struct Count {
  int Listed = 0, Sendable = 0, Reaching = 0;
  std::vector<std::string> Missed;
};

Count CountKeys(const TermModel& tm, const BuildConfig& b) {
  int err = 0;
  EXPECT_EQ(setupterm(const_cast<char*>(tm.TermName), -1, &err), OK) << tm.TermName;
  KeyDecoder dec;
  dec.Configure(b.Set, InputEncoding::Utf8, 35);
  const std::string kbs = [] {
    char* s = tigetstr(const_cast<char*>("kbs"));
    return s && s != reinterpret_cast<char*>(-1) ? std::string(s) : std::string();
  }();
  dec.SetBackspaceByte(kbs.size() == 1 ? uint8_t(kbs[0]) : 0x7F);
  AddTerminfoKeys(dec);
  if (cur_term) del_curterm(cur_term);

  Count c;
  int64_t clock = 0;
  for (const DocRow& r : DocumentedKeys(b.Name)) {
    ++c.Listed;
    std::vector<PhysKey> keys;
    if (!ParseKeyNotation(r.Key, b.Set, keys) || keys.size() != 1) {
      ADD_FAILURE() << b.Name << ": " << r.Key;
      continue;
    }
    const std::string bytes = Encode(tm.Kind, keys[0], b.Set);
    if (bytes.empty()) continue;
    ++c.Sendable;
    clock += 1000;
    dec.Feed(bytes, clock);
    std::vector<PhysKey> got;
    PhysKey k;
    while (dec.Next(k, clock)) got.push_back(k);
    while (dec.Next(k, clock + 1000)) got.push_back(k);
    if (got.size() == 1 && KeyCodeFor(b, got[0]) == r.Code) ++c.Reaching;
    else c.Missed.push_back(r.Key);
  }
  return c;
}

TEST(TerminalKeys, DocumentedKeysReachTheirCommandInEachTerminal) {
  for (const BuildConfig* b : AllBuilds()) {
    for (const TermModel& tm : kTerms) {
      const Count c = CountKeys(tm, *b);
      std::string missed;
      for (const std::string& k : c.Missed) missed += " " + k;
      std::printf("%-15s %-10s listed %3d  sendable %3d  reach their command %3d%s%s\n", b->Name, tm.Name, c.Listed,
                  c.Sendable, c.Reaching, missed.empty() ? "" : "  missed:", missed.c_str());
      if (tm.Kind != Term::Xterm8bit) {
        EXPECT_EQ(c.Reaching, c.Sendable) << b->Name << " in " << tm.Name << ":" << missed;
      }
    }
  }
}

}  // namespace
