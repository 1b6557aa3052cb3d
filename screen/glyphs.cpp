// Byte <-> Unicode tables of the three character sets, the glyphs the screen
// shows for control bytes, the PC keys that carry each character, and a small
// UTF-8 codec for the terminal side.
#include "screen/glyphs.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

// Byte -> Unicode, one entry per byte.  The lower half is ASCII (control
// codes stand for themselves); every character of the upper halves lies in
// the BMP, so 16 bits suffice.  0xFFFD marks a byte the set leaves undefined.

// KOI8-R as registered in RFC 1489: pseudographics at 0x80..0xBF with Ё/ё
// at 0xB3/0xA3, then the letters in the order of their Latin transliteration,
// lower case at 0xC0 and upper case at 0xE0.
constexpr char16_t kKoi8[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, // 00
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F, // 08
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017, // 10
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, // 18
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027, // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, // 28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, // 38
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, // 48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F, // 58
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, // 68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, // 78
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, // 80
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590, // 88
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248, // 90
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7, // 98
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556, // A0
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E, // A8
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565, // B0
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9, // B8
    0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435, 0x0444, 0x0433, // C0
    0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, // C8
    0x043F, 0x044F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0436, 0x0432, // D0
    0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A, // D8
    0x042E, 0x0410, 0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, // E0
    0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, // E8
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412, // F0
    0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429, 0x0427, 0x042A, // F8
};

// IBM code page 866: А..п at 0x80, the box-drawing block at 0xB0..0xDF in
// the positions of code page 437, р..я at 0xE0, then Ё ё Є є Ї ї Ў ў and
// a few symbols.
constexpr char16_t kCp866[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, // 00
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F, // 08
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017, // 10
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, // 18
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027, // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, // 28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, // 38
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, // 48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F, // 58
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, // 68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, // 78
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0, // F8
};

// Windows-1251: the other Cyrillic alphabets and typographic marks at
// 0x80..0xBF, А..я in alphabetical order at 0xC0..0xFF.  0x98 is unassigned.
constexpr char16_t kCp1251[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, // 00
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F, // 08
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017, // 10
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F, // 18
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027, // 20
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, // 28
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, // 30
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, // 38
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, // 40
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, // 48
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, // 50
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F, // 58
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, // 60
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, // 68
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, // 70
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F, // 78
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // F8
};

constexpr char32_t kUndefined = 0xFFFD;

const char16_t* TableOf(Charset set) {
  switch (set) {
    case Charset::Koi8:
      return kKoi8;
    case Charset::Cp866:
      return kCp866;
    case Charset::Cp1251:
      return kCp1251;
  }
  return nullptr;
}

// Unicode -> byte for the upper half of a set: the defined entries sorted by
// character, searched by bisection.  Built at compile time, so ByteOf costs
// about seven comparisons and needs no locking.
struct ReversePair {
  char16_t Unicode;
  uint8_t Byte;
};

struct ReverseMap {
  std::array<ReversePair, 128> Pairs{};
  size_t Count = 0;
};

constexpr ReverseMap BuildReverse(const char16_t (&table)[256]) {
  ReverseMap map;
  for (size_t b = 128; b < 256; ++b) {
    if (table[b] == kUndefined) continue;
    map.Pairs[map.Count++] = {table[b], static_cast<uint8_t>(b)};
  }
  std::sort(map.Pairs.begin(), map.Pairs.begin() + map.Count,
            [](const ReversePair& x, const ReversePair& y) { return x.Unicode < y.Unicode; });
  return map;
}

// Each character appears at most once in a set and never in both halves,
// otherwise the reverse lookup could not give back the byte it came from.
constexpr bool IsInjective(const ReverseMap& map) {
  for (size_t k = 0; k < map.Count; ++k) {
    if (map.Pairs[k].Unicode < 0x80) return false;
    if (k > 0 && map.Pairs[k - 1].Unicode == map.Pairs[k].Unicode) return false;
  }
  return true;
}

constexpr ReverseMap kKoi8Reverse = BuildReverse(kKoi8);
constexpr ReverseMap kCp866Reverse = BuildReverse(kCp866);
constexpr ReverseMap kCp1251Reverse = BuildReverse(kCp1251);
static_assert(IsInjective(kKoi8Reverse) && kKoi8Reverse.Count == 128);
static_assert(IsInjective(kCp866Reverse) && kCp866Reverse.Count == 128);
static_assert(IsInjective(kCp1251Reverse) && kCp1251Reverse.Count == 127);

const ReverseMap* ReverseOf(Charset set) {
  switch (set) {
    case Charset::Koi8:
      return &kKoi8Reverse;
    case Charset::Cp866:
      return &kCp866Reverse;
    case Charset::Cp1251:
      return &kCp1251Reverse;
  }
  return nullptr;
}

// The PC console font draws the control bytes as these pictures.
constexpr char16_t kControlGlyphs[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00 blank ☺☻♥♦♣♠•
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08 ◘○◙♂♀♪♫☼
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10 ►◄↕‼¶§▬↨
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18 ↑↓→←∟↔▲▼
};
constexpr char32_t kDeleteGlyph = 0x2302;  // ⌂

// What each key of the PC keyboard types, indexed by its set-1 scan code:
// the US layout unshifted and shifted, and the lower-case letter the Russian
// ЙЦУКЕН layout puts on it.  Keys that type no printable character are zero.
struct KeyChars {
  char Plain;
  char Shifted;
  char32_t Russian;
};

constexpr KeyChars kKeys[] = {
    {0, 0, 0},          // 00
    {0, 0, 0},          // 01 Esc
    {'1', '!', 0},      // 02
    {'2', '@', 0},      // 03
    {'3', '#', 0},      // 04
    {'4', '$', 0},      // 05
    {'5', '%', 0},      // 06
    {'6', '^', 0},      // 07
    {'7', '&', 0},      // 08
    {'8', '*', 0},      // 09
    {'9', '(', 0},      // 0A
    {'0', ')', 0},      // 0B
    {'-', '_', 0},      // 0C
    {'=', '+', 0},      // 0D
    {0, 0, 0},          // 0E Backspace
    {0, 0, 0},          // 0F Tab
    {'q', 'Q', U'й'},   // 10
    {'w', 'W', U'ц'},   // 11
    {'e', 'E', U'у'},   // 12
    {'r', 'R', U'к'},   // 13
    {'t', 'T', U'е'},   // 14
    {'y', 'Y', U'н'},   // 15
    {'u', 'U', U'г'},   // 16
    {'i', 'I', U'ш'},   // 17
    {'o', 'O', U'щ'},   // 18
    {'p', 'P', U'з'},   // 19
    {'[', '{', U'х'},   // 1A
    {']', '}', U'ъ'},   // 1B
    {0, 0, 0},          // 1C Enter
    {0, 0, 0},          // 1D Ctrl
    {'a', 'A', U'ф'},   // 1E
    {'s', 'S', U'ы'},   // 1F
    {'d', 'D', U'в'},   // 20
    {'f', 'F', U'а'},   // 21
    {'g', 'G', U'п'},   // 22
    {'h', 'H', U'р'},   // 23
    {'j', 'J', U'о'},   // 24
    {'k', 'K', U'л'},   // 25
    {'l', 'L', U'д'},   // 26
    {';', ':', U'ж'},   // 27
    {'\'', '"', U'э'},  // 28
    {'`', '~', U'ё'},   // 29
    {0, 0, 0},          // 2A left Shift
    {'\\', '|', 0},     // 2B
    {'z', 'Z', U'я'},   // 2C
    {'x', 'X', U'ч'},   // 2D
    {'c', 'C', U'с'},   // 2E
    {'v', 'V', U'м'},   // 2F
    {'b', 'B', U'и'},   // 30
    {'n', 'N', U'т'},   // 31
    {'m', 'M', U'ь'},   // 32
    {',', '<', U'б'},   // 33
    {'.', '>', U'ю'},   // 34
    {'/', '?', 0},      // 35
    {0, 0, 0},          // 36 right Shift
    {0, 0, 0},          // 37 keypad *
    {0, 0, 0},          // 38 Alt
    {' ', ' ', 0},      // 39 Space
};
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

// Character -> scan code, inverted from kKeys at compile time: one table for
// ASCII and one for the Cyrillic block U+0400..U+045F.
struct ScanTables {
  std::array<uint8_t, 128> Ascii{};
  std::array<uint8_t, 0x60> Cyrillic{};
};

constexpr char32_t kCyrillicFirst = 0x400;

constexpr ScanTables BuildScanTables() {
  ScanTables t;
  for (size_t scan = 0; scan < kKeyCount; ++scan) {
    const KeyChars& k = kKeys[scan];
    if (k.Plain != 0) t.Ascii[static_cast<uint8_t>(k.Plain)] = static_cast<uint8_t>(scan);
    if (k.Shifted != 0) t.Ascii[static_cast<uint8_t>(k.Shifted)] = static_cast<uint8_t>(scan);
    if (k.Russian == 0) continue;
    // а..я have their capitals 0x20 below, ё (in U+0450..U+045F) 0x50 below.
    char32_t upper = k.Russian >= 0x450 ? k.Russian - 0x50 : k.Russian - 0x20;
    t.Cyrillic[k.Russian - kCyrillicFirst] = static_cast<uint8_t>(scan);
    t.Cyrillic[upper - kCyrillicFirst] = static_cast<uint8_t>(scan);
  }
  return t;
}

constexpr ScanTables kScans = BuildScanTables();

}  // namespace

char32_t UnicodeOf(Charset set, uint8_t b) {
  if (b < 0x80) return b;
  const char16_t* table = TableOf(set);
  return table != nullptr ? table[b] : kUndefined;
}

// Control bytes show as the console font's pictures.  A byte the set leaves
// undefined shows as U+FFFD, the replacement character, so that it stands out
// from every real character.
char32_t GlyphOf(Charset set, uint8_t b) {
  if (b < 32) return kControlGlyphs[b];
  if (b == 0x7F) return kDeleteGlyph;
  return UnicodeOf(set, b);
}

int ByteOf(Charset set, char32_t u) {
  if (u < 0x80) return static_cast<int>(u);
  const ReverseMap* map = ReverseOf(set);
  if (map == nullptr || u > 0xFFFF) return -1;
  auto end = map->Pairs.begin() + map->Count;
  auto it = std::lower_bound(map->Pairs.begin(), end, u,
                             [](const ReversePair& p, char32_t c) { return p.Unicode < c; });
  if (it == end || it->Unicode != u) return -1;
  return it->Byte;
}

uint8_t ScanCodeOf(char32_t u) {
  if (u < kScans.Ascii.size()) return kScans.Ascii[u];
  if (u >= kCyrillicFirst && u - kCyrillicFirst < kScans.Cyrillic.size())
    return kScans.Cyrillic[u - kCyrillicFirst];
  return 0;
}

char32_t UsCharOfScan(uint8_t scan, bool shifted) {
  if (scan >= kKeyCount) return 0;
  return static_cast<unsigned char>(shifted ? kKeys[scan].Shifted : kKeys[scan].Plain);
}

// Surrogates and values past U+10FFFF have no UTF-8 form; they come out as
// the replacement character.
std::string Utf8Of(char32_t u) {
  if ((u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) u = kUndefined;
  std::string s;
  if (u < 0x80) {
    s += static_cast<char>(u);
  } else if (u < 0x800) {
    s += static_cast<char>(0xC0 | (u >> 6));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    s += static_cast<char>(0xE0 | (u >> 12));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (u >> 18));
    s += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  }
  return s;
}

// Only shortest forms of scalar values are accepted.  The range allowed for
// the second byte depends on the lead byte, which is how overlong forms,
// surrogates and values past U+10FFFF are refused as soon as they can be told
// apart; later bytes are plain continuations 80..BF.  A sequence cut short by
// the end of s, whose bytes so far are all acceptable, may still be completed
// by input yet to come, hence -1 rather than U+FFFD.  An empty rest (i at the
// end) also returns -1.
int32_t DecodeUtf8(std::string_view s, size_t& i) {
  if (i >= s.size()) return -1;
  const uint8_t lead = static_cast<uint8_t>(s[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // bounds of the second byte
  int32_t value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // below: overlong
    if (lead == 0xED) high = 0x9F;  // above: surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // below: overlong
    if (lead == 0xF4) high = 0x8F;  // above: past U+10FFFF
  } else {
    // Continuation bytes, C0/C1 (always overlong) and F5..FF.
    ++i;
    return static_cast<int32_t>(kUndefined);
  }
  for (size_t k = 1; k < length; ++k) {
    if (i + k >= s.size()) return -1;
    const uint8_t c = static_cast<uint8_t>(s[i + k]);
    const bool ok = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    if (!ok) {
      ++i;
      return static_cast<int32_t>(kUndefined);
    }
    value = (value << 6) | (c & 0x3F);
  }
  i += length;
  return value;
}
