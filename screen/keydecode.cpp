#include "screen/keydecode.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "screen/glyphs.h"

namespace {

constexpr uint8_t Esc = 0x1B;
constexpr size_t MaxSequence = 40;  // longer "sequences" are garbage
// Bracketed paste: the terminal wraps pasted text in these.
constexpr std::string_view PasteStart = "\x1b[200~";
constexpr std::string_view PasteEnd = "\x1b[201~";
// A paste whose end marker does not come within this time ends by itself.
constexpr int64_t PasteTimeoutMs = 2000;

Charset SetOfEncoding(InputEncoding e) {
  return e == InputEncoding::Cp866 ? Charset::Cp866 : Charset::Koi8;
}

PhysKey Key(KeyId id, uint8_t mods = 0, uint8_t ch = 0) {
  PhysKey k;
  k.Id = id;
  k.Mods = mods;
  k.Ch = ch;
  return k;
}

// xterm's modifier parameter: 1 + (shift 1, alt 2, ctrl 4, meta 8).
// The keyboard protocol of kitty and others adds super 8, hyper 16, meta 32
// and the lock keys 64 and 128, which are dropped.
uint8_t ModsOfParam(int m) {
  if (m < 2) return 0;
  int bits = (m - 1) & 0x3F;
  if (bits & 0x30) bits |= 2;
  uint8_t mods = 0;
  if (bits & 1) mods |= M_Shift;
  if (bits & (2 | 8)) mods |= M_Alt;
  if (bits & 4) mods |= M_Ctrl;
  return mods;
}

// The key of "CSI n ~" (and rxvt's "CSI n $", "CSI n ^").  Codes 25..34
// are the VT220's F13..F20, which rxvt and the Linux console send for
// Shift+F3..Shift+F10 (their Shift+F1 and Shift+F2 send F11 and F12).
KeyId TildeKey(int n, uint8_t& mods) {
  switch (n) {
    case 25: mods |= M_Shift; return K_F3;
    case 26: mods |= M_Shift; return K_F4;
    case 28: mods |= M_Shift; return K_F5;
    case 29: mods |= M_Shift; return K_F6;
    case 31: mods |= M_Shift; return K_F7;
    case 32: mods |= M_Shift; return K_F8;
    case 33: mods |= M_Shift; return K_F9;
    case 34: mods |= M_Shift; return K_F10;
    default: break;
  }
  switch (n) {
    case 1: case 7: return K_Home;
    case 2: return K_Insert;
    case 3: return K_Delete;
    case 4: case 8: return K_End;
    case 5: return K_PgUp;
    case 6: return K_PgDn;
    case 11: return K_F1;
    case 12: return K_F2;
    case 13: return K_F3;
    case 14: return K_F4;
    case 15: return K_F5;
    case 17: return K_F6;
    case 18: return K_F7;
    case 19: return K_F8;
    case 20: return K_F9;
    case 21: return K_F10;
    case 23: return K_F11;
    case 24: return K_F12;
    default: return K_None;
  }
}

// The key of a final letter shared by "CSI 1;m X" and "SS3 X".
KeyId LetterKey(uint8_t f) {
  switch (f) {
    case 'A': return K_Up;
    case 'B': return K_Down;
    case 'C': return K_Right;
    case 'D': return K_Left;
    case 'H': return K_Home;
    case 'F': return K_End;
    case 'P': return K_F1;
    case 'Q': return K_F2;
    case 'R': return K_F3;
    case 'S': return K_F4;
    default: return K_None;
  }
}

// The key of a control byte.  bs is the terminal's Backspace byte; the other
// of 08 and 7F is Ctrl+Backspace.
PhysKey ControlKey(uint8_t b, uint8_t bs) {
  if (b == bs) return Key(K_Backspace);
  if (b == 0x08 || b == 0x7F) return Key(K_Backspace, M_Ctrl);
  if (b == 0x09) return Key(K_Tab);
  if (b == 0x0D) return Key(K_Enter);
  if (b == 0x1B) return Key(K_Esc);
  if (b == 0) return Key(K_Char, M_Ctrl, ' ');
  if (b <= 26) return Key(K_Char, M_Ctrl, uint8_t('a' + b - 1));
  if (b == 0x1C) return Key(K_Char, M_Ctrl, '\\');
  if (b == 0x1D) return Key(K_Char, M_Ctrl, ']');
  if (b == 0x1E) return Key(K_Char, M_Ctrl, '6');
  return Key(K_Char, M_Ctrl, '-');
}

}  // namespace

void KeyDecoder::Configure(Charset internal, InputEncoding enc, int escTimeoutMs) {
  Internal = internal;
  Enc = enc;
  EscTimeout = std::clamp(escTimeoutMs, 1, 2000);
}

void KeyDecoder::AddSequence(std::string_view bytes, PhysKey key) {
  if (bytes.size() < 2 || uint8_t(bytes[0]) != Esc) return;
  for (Seq& s : Sequences)
    if (s.Bytes == bytes) return;  // the first description of a sequence wins
  Sequences.push_back({std::string(bytes), key});
}

void KeyDecoder::Feed(std::string_view bytes, int64_t nowMs) {
  Buf.append(bytes);
  LastFeedMs = nowMs;
}

int64_t KeyDecoder::Deadline() const {
  if (Pasting) return LastFeedMs + PasteTimeoutMs;
  return Buf.empty() ? -1 : LastFeedMs + EscTimeout;
}

bool KeyDecoder::Next(PhysKey& out, int64_t nowMs) {
  while (!Buf.empty() || Pasting) {
    if (Pasting) {
      if (!ContinuePaste(nowMs)) return false;
      out = Key(K_Paste);
      return true;
    }
    if (Buf.size() >= PasteStart.size() && Buf.compare(0, PasteStart.size(), PasteStart) == 0) {
      Buf.erase(0, PasteStart.size());
      Pasting = true;
      PasteRaw.clear();
      continue;
    }
    bool final = nowMs - LastFeedMs >= EscTimeout;
    size_t used = 0;
    Parse r = Decode(used, out, final);
    if (r == Parse::NeedMore) return false;
    Buf.erase(0, std::max<size_t>(used, 1));
    if (r == Parse::ProtocolReply) ProtocolReplied = true;
    if (r == Parse::AttributesReply) AttributesReplied = true;
    if (r == Parse::Key) return true;
  }
  return false;
}

// Moves the paste's bytes out of Buf; true when the paste has ended (its end
// marker came, or nothing came for PasteTimeoutMs) and is queued.
bool KeyDecoder::ContinuePaste(int64_t nowMs) {
  size_t end = Buf.find(PasteEnd);
  if (end == std::string::npos) {
    // Keep what may be the start of the end marker for the next read.
    size_t keep = 0;
    for (size_t k = std::min(Buf.size(), PasteEnd.size() - 1); k > 0; --k)
      if (Buf.compare(Buf.size() - k, k, PasteEnd, 0, k) == 0) {
        keep = k;
        break;
      }
    PasteRaw.append(Buf, 0, Buf.size() - keep);
    Buf.erase(0, Buf.size() - keep);
    if (nowMs - LastFeedMs < PasteTimeoutMs) return false;
    PasteRaw += Buf;  // the terminal never ended it: what came is the paste
    Buf.clear();
  } else {
    PasteRaw.append(Buf, 0, end);
    Buf.erase(0, end + PasteEnd.size());
  }
  Pasting = false;
  Pastes.push_back(ConvertPaste(PasteRaw));
  PasteRaw.clear();
  PasteRaw.shrink_to_fit();
  return true;
}

PastedText KeyDecoder::ConvertPaste(std::string_view raw) const {
  PastedText p;
  p.Text.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    const uint8_t b = uint8_t(raw[i]);
    if (b == '\r' || b == '\n') {
      p.Text += '\n';
      i += b == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
      continue;
    }
    if (b == '\t') {
      p.Text += '\t';
      ++i;
      continue;
    }
    char32_t u;
    if (Enc == InputEncoding::Utf8) {
      int32_t c = DecodeUtf8(raw, i);
      if (c < 0) {  // cut off inside a character
        i = raw.size();
        c = 0xFFFD;
      }
      u = char32_t(c);
    } else {
      u = UnicodeOf(SetOfEncoding(Enc), b);
      ++i;
    }
    const int byte = u < 0x20 || u == 0x7F || u == 0xFFFD ? -1 : ByteOf(Internal, u);
    if (byte < 0x20 || byte == 0x7F) {
      p.Text += '?';
      ++p.Missing;
    } else {
      p.Text += char(byte);
    }
  }
  return p;
}

PastedText KeyDecoder::TakePaste() {
  if (Pastes.empty()) return {};
  PastedText p = std::move(Pastes.front());
  Pastes.pop_front();
  return p;
}

bool KeyDecoder::TakeProtocolReply() { return std::exchange(ProtocolReplied, false); }
bool KeyDecoder::TakeAttributesReply() { return std::exchange(AttributesReplied, false); }

// One key from the front of Buf.  `final`: no more bytes will come for it.
KeyDecoder::Parse KeyDecoder::Decode(size_t& used, PhysKey& out, bool final) const {
  uint8_t b = uint8_t(Buf[0]);
  if (b == Esc) return DecodeEscape(used, out, final);
  if (b < 0x20 || b == 0x7F) {
    used = 1;
    out = ControlKey(b, BackspaceByte);
    return Parse::Key;
  }
  Parse r = DecodeChar(0, used, out);
  if (r == Parse::NeedMore && final) {
    used = Buf.size();
    return Parse::Skip;
  }
  return r;
}

// A character in the terminal's encoding, translated into the build's set.
// Characters the set lacks are skipped.
KeyDecoder::Parse KeyDecoder::DecodeChar(size_t start, size_t& used, PhysKey& out) const {
  char32_t u;
  if (Enc == InputEncoding::Utf8) {
    size_t i = start;
    int32_t c = DecodeUtf8(Buf, i);
    if (c < 0) return Parse::NeedMore;
    used = i;
    if (c == 0xFFFD) return Parse::Skip;
    u = char32_t(c);
  } else {
    used = start + 1;
    u = UnicodeOf(SetOfEncoding(Enc), uint8_t(Buf[start]));
  }
  if (u < 0x20 || u == 0x7F) return Parse::Skip;
  int byte = ByteOf(Internal, u);
  if (byte < 0x20 || byte == 0x7F) return Parse::Skip;
  out = Key(K_Char, 0, uint8_t(byte));
  return Parse::Key;
}

KeyDecoder::Parse KeyDecoder::DecodeEscape(size_t& used, PhysKey& out, bool final) const {
  const size_t n = Buf.size();
  if (n == 1) {
    if (!final) return Parse::NeedMore;
    used = 1;
    out = Key(K_Esc);
    return Parse::Key;
  }

  // The terminal's own description comes first; the longest match wins.
  const Seq* best = nullptr;
  bool longer = false;
  for (const Seq& s : Sequences) {
    if (n >= s.Bytes.size()) {
      if (Buf.compare(0, s.Bytes.size(), s.Bytes) == 0 && (!best || s.Bytes.size() > best->Bytes.size()))
        best = &s;
    } else if (s.Bytes.compare(0, n, Buf) == 0) {
      longer = true;
    }
  }
  if (best) {
    used = best->Bytes.size();
    out = best->Key;
    return Parse::Key;
  }
  if (longer && !final) return Parse::NeedMore;

  uint8_t b1 = uint8_t(Buf[1]);
  if (b1 == '[' || b1 == 'O') {
    Parse r = DecodeCsi(0, used, out);
    if (r != Parse::NeedMore) return r;
    if (!final) return Parse::NeedMore;
    if (n == 2) {  // nothing followed: Alt+'[' or Alt+'O'
      used = 2;
      out = Key(K_Char, M_Alt, b1);
      return Parse::Key;
    }
    used = n;  // an unfinished sequence types nothing
    return Parse::Skip;
  }
  if (b1 == Esc) {
    if (n == 2) {
      if (!final) return Parse::NeedMore;
      used = 1;  // Esc pressed twice: the first one is a key of its own
      out = Key(K_Esc);
      return Parse::Key;
    }
    uint8_t b2 = uint8_t(Buf[2]);
    if (b2 == '[' || b2 == 'O') {
      // Esc before a function-key sequence: Alt held with that key.
      Parse r = DecodeCsi(1, used, out);
      if (r == Parse::Key) {
        out.Mods |= M_Alt;
        return r;
      }
      if (r == Parse::Skip) return r;
      if (!final) return Parse::NeedMore;
      if (n == 3) {  // Esc, then Alt+'[' alone
        used = 3;
        out = Key(K_Char, M_EscAlt, b2);
        return Parse::Key;
      }
      used = n;
      return Parse::Skip;
    }
    if (b2 >= 0x20 && b2 != 0x7F) {
      // Esc followed at once by Alt+character: the key-definition path.
      Parse r = DecodeChar(2, used, out);
      if (r == Parse::Key) out.Mods |= M_EscAlt;
      if (r == Parse::NeedMore && final) {
        used = n;
        return Parse::Skip;
      }
      return r;
    }
    used = 1;
    out = Key(K_Esc);
    return Parse::Key;
  }
  if (b1 < 0x20 || b1 == 0x7F) {
    // Alt with a control key: Alt+Backspace, Alt+Enter, Ctrl+Alt+letter.
    used = 2;
    out = ControlKey(b1, BackspaceByte);
    out.Mods |= M_Alt;
    return Parse::Key;
  }
  // Alt+character (the character may be several UTF-8 bytes).
  Parse r = DecodeChar(1, used, out);
  if (r == Parse::Key) out.Mods |= M_Alt;
  if (r == Parse::NeedMore && final) {
    used = n;
    return Parse::Skip;
  }
  return r;
}

// The keyboard protocol's "CSI code;m u": code is a Unicode character (the
// key's unshifted one) or one of the protocol's numbers for keys that type
// nothing; shifted, when the terminal reports it, the character with Shift.
bool KeyDecoder::UnicodeKey(int code, int shifted, uint8_t mods, PhysKey& out) const {
  // The keypad's keys (57399 KP_0 .. 57427 KP_BEGIN).
  static const struct {
    int Code;
    KeyId Id;
    uint8_t Ch;
  } Keypad[] = {
      {57409, K_Char, '.'}, {57410, K_Char, '/'}, {57411, K_Char, '*'}, {57412, K_Char, '-'},
      {57413, K_Char, '+'}, {57414, K_Enter, 0},  {57415, K_Char, '='}, {57416, K_Char, ','},
      {57417, K_Left, 0},   {57418, K_Right, 0},  {57419, K_Up, 0},     {57420, K_Down, 0},
      {57421, K_PgUp, 0},   {57422, K_PgDn, 0},   {57423, K_Home, 0},   {57424, K_End, 0},
      {57425, K_Insert, 0}, {57426, K_Delete, 0},
  };
  if (code >= 57399 && code <= 57408) {
    out = Key(K_Char, mods, uint8_t('0' + code - 57399));
    return true;
  }
  for (const auto& k : Keypad)
    if (k.Code == code) {
      out = Key(k.Id, mods, k.Ch);
      return true;
    }
  if (code == 9) out = Key(K_Tab, mods);
  else if (code == 13) out = Key(K_Enter, mods);
  else if (code == 27) out = Key(K_Esc, mods);
  else if (code == 127 || code == 8) out = Key(K_Backspace, mods);
  else if (code < 0x20 || (code >= 0x7F && code < 0xA0) || code >= 0xE000) return false;
  else {
    // Shift without Ctrl types the shifted character, as the legacy forms
    // do: the reported one, else a Latin letter's capital or the US
    // layout's upper row, else a Cyrillic capital.
    char32_t u = char32_t(code);
    if ((mods & M_Shift) && !(mods & M_Ctrl)) {
      char32_t up = 0;
      if (shifted >= 0x20 && shifted < 0xE000 && shifted != 0x7F) up = char32_t(shifted);
      else if (u < 0x80) up = UsCharOfScan(ScanCodeOf(u), true);
      else if (u >= 0x430 && u <= 0x44F) up = u - 0x20;
      else if (u == 0x451) up = 0x401;
      if (up != 0) {
        u = up;
        mods = uint8_t(mods & ~M_Shift);
      }
    }
    const int b = ByteOf(Internal, u);
    if (b < 0x20 || b == 0x7F) return false;
    uint8_t ch = uint8_t(b);
    if ((mods & M_Ctrl) && ch >= 'A' && ch <= 'Z') ch = uint8_t(ch + 32);
    out = Key(K_Char, mods, ch);
  }
  return true;
}

// A CSI or SS3 sequence starting at Buf[start] (the Esc).
KeyDecoder::Parse KeyDecoder::DecodeCsi(size_t start, size_t& used, PhysKey& out) const {
  const size_t n = Buf.size();
  const bool ss3 = Buf[start + 1] == 'O';
  size_t i = start + 2;
  if (!ss3 && i < n && Buf[i] == '[') {  // the Linux console's F1..F5: CSI [ A..E
    if (i + 1 >= n) return Parse::NeedMore;
    used = i + 2;
    uint8_t f = uint8_t(Buf[i + 1]);
    if (f >= 'A' && f <= 'E') {
      out = Key(KeyId(K_F1 + (f - 'A')));
      return Parse::Key;
    }
    return Parse::Skip;
  }
  // Parameters: digits and ';'.  ':' sub-parameters are ignored, except the
  // first parameter's second one: the shifted key of the keyboard protocol.
  int params[4] = {0, 0, 0, 0};
  int shifted = 0;
  int count = 0;
  int sub = 0;
  bool any = false;
  bool priv = false;
  bool query = false;  // '?': a terminal's answer, not a key
  for (; i < n; ++i) {
    uint8_t c = uint8_t(Buf[i]);
    if (c >= '0' && c <= '9') {
      if (sub == 0 && count < 4) params[count] = std::min(params[count] * 10 + (c - '0'), 100000);
      if (sub == 1 && count == 0) shifted = std::min(shifted * 10 + (c - '0'), 100000);
      any = true;
    } else if (c == ';') {
      ++count;
      sub = 0;
    } else if (c == ':') {
      ++sub;
    } else if (c == '<' || c == '=' || c == '>' || c == '?') {
      priv = true;
      query = query || c == '?';
    } else {
      break;
    }
    if (i - start > MaxSequence) {
      used = i + 1;
      return Parse::Skip;
    }
  }
  if (i >= n) return Parse::NeedMore;
  // Intermediate bytes (rxvt ends modified keys with '$' or '^' or '@').
  uint8_t f = uint8_t(Buf[i]);
  used = i + 1;
  if (f < 0x20 || f > 0x7E) {
    used = i;  // a control byte interrupted the sequence: drop what came before it
    return Parse::Skip;
  }
  if (priv) {
    if (query && !ss3 && f == 'u') return Parse::ProtocolReply;
    if (query && !ss3 && f == 'c') return Parse::AttributesReply;
    return Parse::Skip;
  }
  int p1 = any || count ? params[0] : 0;
  uint8_t mods = ModsOfParam(count >= 1 ? params[1] : 0);

  if (ss3) {
    // Application keypad: SS3 p..y are the digits, M is Enter.
    if (f >= 'p' && f <= 'y') {
      out = Key(K_Char, mods, uint8_t('0' + (f - 'p')));
      return Parse::Key;
    }
    switch (f) {
      case 'M': out = Key(K_Enter, mods); return Parse::Key;
      case 'j': out = Key(K_Char, mods, '*'); return Parse::Key;
      case 'k': out = Key(K_Char, mods, '+'); return Parse::Key;
      case 'm': out = Key(K_Char, mods, '-'); return Parse::Key;
      case 'n': out = Key(K_Char, mods, '.'); return Parse::Key;
      case 'o': out = Key(K_Char, mods, '/'); return Parse::Key;
      case 'X': out = Key(K_Char, mods, '='); return Parse::Key;
      case 'a': out = Key(K_Up, M_Ctrl); return Parse::Key;  // rxvt's Ctrl+arrows
      case 'b': out = Key(K_Down, M_Ctrl); return Parse::Key;
      case 'c': out = Key(K_Right, M_Ctrl); return Parse::Key;
      case 'd': out = Key(K_Left, M_Ctrl); return Parse::Key;
      default: break;
    }
    // SS3 with a modifier parameter (some terminals send "SS3 5 P").
    if (!count && any) mods = ModsOfParam(params[0]);
    KeyId id = LetterKey(f);
    if (id == K_None) return Parse::Skip;
    out = Key(id, mods);
    return Parse::Key;
  }

  switch (f) {
    case '~':
    case '$':
    case '^':
    case '@': {
      if (f == '$') mods |= M_Shift;
      if (f == '^') mods |= M_Ctrl;
      if (f == '@') mods |= M_Ctrl | M_Shift;
      if (p1 == 27 && count >= 2) {  // xterm's modifyOtherKeys: CSI 27;m;code~
        int code = params[2];
        PhysKey k;
        if (code == 9) k = Key(K_Tab);
        else if (code == 13) k = Key(K_Enter);
        else if (code == 27) k = Key(K_Esc);
        else if (code == 127 || code == 8) k = Key(K_Backspace);
        else if (code > 0x20 && code < 0x7F) k = Key(K_Char, 0, uint8_t(code));
        else if (code == 0x20) k = Key(K_Char, 0, ' ');
        else return Parse::Skip;
        if (k.Id == K_Char && (mods & M_Shift) && !(mods & (M_Ctrl | M_Alt))) mods &= uint8_t(~M_Shift);
        k.Mods = mods;
        if (k.Id == K_Char && (mods & M_Ctrl) && k.Ch >= 'A' && k.Ch <= 'Z') k.Ch = uint8_t(k.Ch + 32);
        out = k;
        return Parse::Key;
      }
      KeyId id = TildeKey(p1, mods);
      if (id == K_None) return Parse::Skip;
      out = Key(id, mods);
      return Parse::Key;
    }
    case 'u': {  // CSI code[:shifted];m u
      if (!UnicodeKey(params[0], shifted, mods, out)) return Parse::Skip;
      return Parse::Key;
    }
    case 'Z':
      out = Key(K_Tab, uint8_t(mods | M_Shift));
      return Parse::Key;
    case 'a': out = Key(K_Up, M_Shift); return Parse::Key;  // rxvt's Shift+arrows
    case 'b': out = Key(K_Down, M_Shift); return Parse::Key;
    case 'c': out = Key(K_Right, M_Shift); return Parse::Key;
    case 'd': out = Key(K_Left, M_Shift); return Parse::Key;
    default: break;
  }
  KeyId id = LetterKey(f);
  if (id == K_None) return Parse::Skip;
  out = Key(id, mods);
  return Parse::Key;
}

// ---------------------------------------------------------------------------
// Symbolic notation.

namespace {

struct NamedKey {
  const char* Name;
  KeyId Id;
};
constexpr NamedKey Names[] = {
    {"F1", K_F1},     {"F2", K_F2},       {"F3", K_F3},      {"F4", K_F4},          {"F5", K_F5},
    {"F6", K_F6},     {"F7", K_F7},       {"F8", K_F8},      {"F9", K_F9},          {"F10", K_F10},
    {"F11", K_F11},   {"F12", K_F12},     {"Home", K_Home},  {"Up", K_Up},          {"PgUp", K_PgUp},
    {"Left", K_Left}, {"Right", K_Right}, {"End", K_End},    {"Down", K_Down},      {"PgDn", K_PgDn},
    {"Ins", K_Insert}, {"Del", K_Delete}, {"Esc", K_Esc},    {"Tab", K_Tab},        {"Enter", K_Enter},
    {"BS", K_Backspace}, {"Insert", K_Insert}, {"Delete", K_Delete}, {"CR", K_Enter},
    {"Backspace", K_Backspace},
};

bool ParseOneName(std::string_view body, Charset set, PhysKey& k) {
  uint8_t mods = 0;
  for (;;) {
    if (body.size() > 7 && body.substr(0, 7) == "EscAlt-") {
      mods |= M_EscAlt;
      body.remove_prefix(7);
      continue;
    }
    if (body.size() > 2 && body[1] == '-' &&
        (body[0] == 'C' || body[0] == 'A' || body[0] == 'M' || body[0] == 'S')) {
      mods |= body[0] == 'C' ? M_Ctrl : body[0] == 'S' ? M_Shift : M_Alt;
      body.remove_prefix(2);
      continue;
    }
    break;
  }
  for (const NamedKey& nk : Names) {
    if (body == nk.Name) {
      k = Key(nk.Id, mods);
      return true;
    }
  }
  if (body == "Space") {
    k = Key(K_Char, mods, ' ');
    return true;
  }
  if (body == "lt") {
    k = Key(K_Char, mods, '<');
    return true;
  }
  if (body == "gt") {
    k = Key(K_Char, mods, '>');
    return true;
  }
  size_t i = 0;
  int32_t u = DecodeUtf8(body, i);
  if (u < 0x20 || u == 0xFFFD || i != body.size()) return false;
  int b = ByteOf(set, char32_t(u));
  if (b < 0x20 || b == 0x7F) return false;
  uint8_t ch = uint8_t(b);
  if ((mods & M_Ctrl) && ch >= 'A' && ch <= 'Z') ch = uint8_t(ch + 32);
  k = Key(K_Char, mods, ch);
  return true;
}

}  // namespace

bool ParseKeyNotation(std::string_view text, Charset set, std::vector<PhysKey>& out) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '<') {
      size_t close = text.find('>', i + 2);  // "<A->>" would be Alt+'>': use <A-gt>
      if (close == std::string_view::npos) return false;
      PhysKey k;
      if (!ParseOneName(text.substr(i + 1, close - i - 1), set, k)) return false;
      out.push_back(k);
      i = close + 1;
      continue;
    }
    if (c == '\n') {
      out.push_back(Key(K_Enter));
      ++i;
      continue;
    }
    if (c == '\t') {
      out.push_back(Key(K_Tab));
      ++i;
      continue;
    }
    int32_t u = DecodeUtf8(text, i);
    if (u < 0x20 || u == 0xFFFD) return false;
    int b = ByteOf(set, char32_t(u));
    if (b < 0x20 || b == 0x7F) return false;
    out.push_back(Key(K_Char, 0, uint8_t(b)));
  }
  return true;
}

std::string KeyName(const PhysKey& k, Charset set) {
  std::string mods;
  if (k.Mods & M_EscAlt) mods += "EscAlt-";
  if (k.Mods & M_Ctrl) mods += "C-";
  if (k.Mods & M_Alt) mods += "A-";
  if (k.Mods & M_Shift) mods += "S-";
  std::string body;
  if (k.Id == K_Char) {
    if (k.Ch == ' ') body = "Space";
    else if (k.Ch == '<') body = "lt";
    else if (k.Ch == '>') body = "gt";
    else body = Utf8Of(UnicodeOf(set, k.Ch));
    if (mods.empty() && k.Ch != ' ' && k.Ch != '<' && k.Ch != '>') return body;
  } else {
    for (const NamedKey& nk : Names)
      if (nk.Id == k.Id) {
        body = nk.Name;
        break;
      }
  }
  return "<" + mods + body + ">";
}
