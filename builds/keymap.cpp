#include "builds/keymap.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "screen/glyphs.h"

namespace {

constexpr uint32_t Code(uint8_t ch, uint8_t scan, uint8_t shift = 0, uint8_t flags = 0) {
  return uint32_t(ch) | uint32_t(scan) << 8 | uint32_t(shift) << 16 | uint32_t(flags) << 24;
}

// The key number of a function or cursor key, 0 for other keys.
uint8_t KeyNumber(KeyId id) {
  if (id >= K_F1 && id <= K_F12) return uint8_t(1 + (id - K_F1));
  switch (id) {
    case K_Home: return 0x20;
    case K_Up: return 0x21;
    case K_PgUp: return 0x22;
    case K_Left: return 0x23;
    case K_Right: return 0x25;
    case K_End: return 0x26;
    case K_Down: return 0x27;
    case K_PgDn: return 0x28;
    case K_Insert: return 0x29;
    case K_Delete: return 0x2A;
    default: return 0;
  }
}

// A character key's Shift is part of the character; dropping it lets a
// terminal that reports Alt+Shift+f as such reach the entry for Alt+'F'.
PhysKey Normalized(PhysKey k) {
  if (k.Id == K_Char) k.Mods &= uint8_t(~M_Shift);
  return k;
}

uint32_t Packed(const PhysKey& k) { return uint32_t(k.Id) << 16 | uint32_t(k.Mods) << 8 | k.Ch; }

// A build's KeyMap parsed once: packed key -> code, sorted by key.
struct ParsedMap {
  const KeyMapEntry* Data;
  size_t Size;
  Charset Set;
  std::vector<std::pair<uint32_t, uint32_t>> Keys;
};

const ParsedMap& MapOf(const BuildConfig& b) {
  static std::mutex lock;
  static std::deque<ParsedMap> maps;  // one per KeyMap table; never shrinks
  std::lock_guard<std::mutex> guard(lock);
  for (const ParsedMap& m : maps)
    if (m.Data == b.KeyMap.data() && m.Size == b.KeyMap.size() && m.Set == b.Set) return m;
  ParsedMap* m = &maps.emplace_back(ParsedMap{b.KeyMap.data(), b.KeyMap.size(), b.Set, {}});
  std::vector<PhysKey> keys;
  for (const KeyMapEntry& e : b.KeyMap) {
    keys.clear();
    // An entry that is not exactly one key is skipped (the tests reject it).
    if (e.Key == nullptr || !ParseKeyNotation(e.Key, b.Set, keys) || keys.size() != 1) continue;
    m->Keys.emplace_back(Packed(Normalized(keys[0])), e.Code);
  }
  // The first entry for a key wins.
  std::stable_sort(m->Keys.begin(), m->Keys.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  return *m;
}

}  // namespace

uint32_t FamilyCodeFor(Charset set, const PhysKey& key) {
  const PhysKey k = Normalized(key);
  const bool alt = k.Mods & (M_Alt | M_EscAlt);
  const bool ctrl = k.Mods & M_Ctrl;
  const bool shift = k.Mods & M_Shift;
  switch (k.Id) {
    case K_None:
      return 0;
    case K_Char: {
      const uint8_t scan = ScanCodeOf(UnicodeOf(set, k.Ch));
      if (k.Mods & M_EscAlt) {
        const uint8_t ch = ctrl ? uint8_t(k.Ch & 0x1F) : k.Ch;
        return Code(ch, scan >= 0x80 ? 0x7F : uint8_t(scan + 0x80), 0x0F);
      }
      if (alt) {
        if (k.Ch == ' ') return 0x03083900;
        return scan ? Code(0, scan, 0x08) : 0;
      }
      if (ctrl) return scan ? Code(k.Ch & 0x1F, scan) : 0;
      return Code(k.Ch, scan);
    }
    case K_Esc:
    case K_Tab:
    case K_Enter:
    case K_Backspace: {
      static constexpr uint8_t kScan[] = {0x01, 0x0F, 0x1C, 0x0E};
      static constexpr uint8_t kChar[] = {0x1B, 0x09, 0x0D, 0x08};
      const size_t i = size_t(k.Id - K_Esc);
      if (alt) return Code(0, kScan[i], 0x08);
      if (k.Id == K_Tab && shift) return 0x03000F00;
      return Code(kChar[i], kScan[i]);
    }
    default: {
      const uint8_t number = KeyNumber(k.Id);
      if (number == 0) return 0;
      const uint8_t mods = uint8_t((alt ? 0x08 : 0) | (ctrl ? 0x04 : 0) | (shift ? 0x01 : 0));
      return Code(number, 0xFF, mods, 0x02);
    }
  }
}

uint32_t KeyCodeFor(const BuildConfig& b, const PhysKey& key) {
  if (key.Id == K_None) return 0;
  const ParsedMap& m = MapOf(b);
  const uint32_t packed = Packed(Normalized(key));
  auto it = std::lower_bound(m.Keys.begin(), m.Keys.end(), packed,
                             [](const auto& x, uint32_t p) { return x.first < p; });
  if (it != m.Keys.end() && it->first == packed) return it->second;
  return FamilyCodeFor(b.Set, key);
}
