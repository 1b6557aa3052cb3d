#include "screen/termkeys.h"

#include <curses.h>
#include <term.h>

#include <cstring>
#include <string>

#undef lines
#undef columns

namespace {

std::string Cap(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return {};
  return s;
}

struct KeyCap {
  const char* Name;
  KeyId Id;
  uint8_t Mods;
};

}  // namespace

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
  // kf1..kf12 are F1..F12.  What kf13 and on are differs: xterm and its
  // followers count twelve per modifier (kf13 Shift+F1, kf25 Ctrl+F1 ...),
  // rxvt and the Linux console follow the VT220 (kf13..kf20 are Shift+F3..
  // Shift+F10, their Shift+F1 and Shift+F2 being F11 and F12).  A sequence
  // the built-in forms know is taken as they read it, so each physical key
  // is the same key in every terminal; others get xterm's numbering.
  static const uint8_t GroupMods[6] = {0, M_Shift, M_Ctrl, M_Ctrl | M_Shift, M_Alt, M_Alt | M_Shift};
  for (int n = 1; n <= 63; ++n) {
    std::string name = "kf" + std::to_string(n);
    const std::string bytes = Cap(name.c_str());
    if (bytes.empty()) continue;
    PhysKey p;
    p.Id = KeyId(K_F1 + (n - 1) % 12);
    p.Mods = GroupMods[(n - 1) / 12];
    if (n > 12) {
      KeyDecoder plain;
      plain.Feed(bytes, 0);
      PhysKey k;
      if (plain.Next(k, 0) && !plain.Pending() && k.Id >= K_F1 && k.Id <= K_F12) p = k;
    }
    dec.AddSequence(bytes, p);
  }
}

