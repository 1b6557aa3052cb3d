// The four builds' bindings tables, and which physical key delivers which of
// their codes.
#include "builds/bindings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builds/build.h"
#include "builds/keymap.h"
#include "screen/glyphs.h"
#include "screen/keydecode.h"

namespace {

std::string Hex(uint32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", code);
  return buf;
}

PhysKey Parse(const char* notation, Charset set) {
  std::vector<PhysKey> keys;
  EXPECT_TRUE(ParseKeyNotation(notation, set, keys)) << notation;
  EXPECT_EQ(keys.size(), 1u) << notation;
  return keys.empty() ? PhysKey{} : keys[0];
}

// Every physical key the enumeration below can name: each character of the
// set and each other key, with every combination of modifiers.
std::vector<PhysKey> EveryKey() {
  std::vector<PhysKey> out;
  for (int mods = 0; mods < 16; ++mods) {
    for (int ch = 0; ch < 256; ++ch) out.push_back(PhysKey{K_Char, uint8_t(mods), uint8_t(ch)});
    for (int id = K_F1; id <= K_Backspace; ++id) out.push_back(PhysKey{KeyId(id), uint8_t(mods), 0});
  }
  return out;
}

const Binding* Bound(const BuildConfig& b, const PhysKey& k) { return FindBinding(b, KeyCodeFor(b, k)); }

// ---------------------------------------------------------------------------

TEST(Builds, CommandNamesAreDistinct) {
  std::set<std::string> names;
  for (size_t c = 0; c < kCmdCount; ++c) {
    std::string name = CommandName(Cmd(c));
    EXPECT_NE(name, "?");
    EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_STREQ(CommandName(Cmd(kCmdCount)), "?");
}

// The family codes of the keys the editor's own logic relies on.
TEST(KeyCodes, Families) {
  for (const BuildConfig* b : AllBuilds()) {
    SCOPED_TRACE(b->Name);
    const Charset set = b->Set;
    auto code = [&](const char* n) { return Hex(KeyCodeFor(*b, Parse(n, set))); };
    auto family = [&](const char* n) { return Hex(FamilyCodeFor(set, Parse(n, set))); };
    EXPECT_EQ(code("<Space>"), "00003920");
    EXPECT_EQ(code("\\"), "00002B5C");
    EXPECT_EQ(code("a"), "00001E61");
    EXPECT_EQ(code("A"), "00001E41");
    EXPECT_EQ(code("1"), "00000231");
    EXPECT_EQ(code("<C-y>"), "00001519");
    EXPECT_EQ(code("<C-q>"), "00001011");
    EXPECT_EQ(code("<C-k>"), "0000250B");
    EXPECT_EQ(code("<C-j>"), "0000240A");
    EXPECT_EQ(code("<Esc>"), "0000011B");
    EXPECT_EQ(code("<Tab>"), "00000F09");
    EXPECT_EQ(code("<Enter>"), "00001C0D");
    EXPECT_EQ(code("<BS>"), "00000E08");
    EXPECT_EQ(code("<S-Tab>"), "03000F00");
    EXPECT_EQ(code("<A-Space>"), "03083900");
    EXPECT_EQ(code("<F10>"), "0200FF0A");
    EXPECT_EQ(code("<A-F9>"), "0208FF09");
    EXPECT_EQ(code("<A-F5>"), "0208FF05");
    EXPECT_EQ(code("<Del>"), "0200FF2A");
    EXPECT_EQ(code("<PgDn>"), "0200FF28");
    EXPECT_EQ(code("<C-F12>"), "0204FF0C");
    EXPECT_EQ(code("<C-A-S-F3>"), "020DFF03");
    // Alt keys the KeyMap leaves alone are key-definition keys.
    EXPECT_EQ(code("<A-o>"), "00081800");
    EXPECT_EQ(code("<A-O>"), "00081800");
    EXPECT_EQ(code("<A-Tab>"), "00080F00");
    EXPECT_EQ(family("<A-x>"), "00082D00");
    // Esc and then at once Alt+key: the scan code moves to the upper half.
    EXPECT_EQ(code("<EscAlt-x>"), "000FAD78");
    EXPECT_EQ(code("<EscAlt-a>"), "000F9E61");
    // A character with Shift reported as well is the same key.
    PhysKey shifted = Parse("<A-F>", set);
    shifted.Mods |= M_Shift;
    EXPECT_EQ(KeyCodeFor(*b, shifted), KeyCodeFor(*b, Parse("<A-F>", set)));
    EXPECT_EQ(KeyCodeFor(*b, PhysKey{}), 0u);
  }
  // Cyrillic letters carry the scan code of their key on the Russian layout.
  for (const BuildConfig* b : {&BuildKoi8, &BuildKoi8Rkbd}) {
    EXPECT_EQ(Hex(KeyCodeFor(*b, Parse("й", b->Set))), "000010CA");
    EXPECT_EQ(Hex(KeyCodeFor(*b, Parse("Ю", b->Set))), "000034E0");
  }
  EXPECT_EQ(Hex(KeyCodeFor(Build866Rkbd, Parse("й", Charset::Cp866))), "000010A9");
  // Box-drawing characters sit on no key: no scan code, and no Ctrl or Alt
  // form (which would otherwise deliver 00000001, the " := " key).
  const PhysKey box = Parse("║", Charset::Koi8);
  EXPECT_EQ(Hex(KeyCodeFor(BuildKoi8, box)), "000000A1");
  EXPECT_EQ(KeyCodeFor(BuildKoi8, PhysKey{K_Char, M_Ctrl, box.Ch}), 0u);
  EXPECT_EQ(KeyCodeFor(BuildKoi8, PhysKey{K_Char, M_Alt, box.Ch}), 0u);
}

// Ctrl+A to Ctrl+Z deliver their family codes in every build.
TEST(KeyCodes, CtrlLettersAreFamilyCodes) {
  for (const BuildConfig* b : AllBuilds()) {
    for (char c = 'a'; c <= 'z'; ++c) {
      const PhysKey k{K_Char, M_Ctrl, uint8_t(c)};
      const uint32_t want = uint32_t(c & 0x1F) | uint32_t(ScanCodeOf(char32_t(c))) << 8;
      EXPECT_EQ(Hex(KeyCodeFor(*b, k)), Hex(want)) << b->Name << " Ctrl+" << c;
    }
  }
}

// The search reads the direction from the key code: Ctrl+F7 must carry Ctrl
// or Alt in its shift state, F7 and Shift+F7 must not look upwards.
TEST(KeyCodes, SearchUpwardsKeysCarryTheDirection) {
  auto upwards = [](uint32_t code) { return ((code >> 16) & 0xFF & 12) >= 4; };
  for (const BuildConfig* b : AllBuilds()) {
    SCOPED_TRACE(b->Name);
    EXPECT_TRUE(upwards(KeyCodeFor(*b, Parse("<C-F7>", b->Set))));
    EXPECT_TRUE(upwards(KeyCodeFor(*b, Parse("<C-S-F7>", b->Set))));
    EXPECT_FALSE(upwards(KeyCodeFor(*b, Parse("<F7>", b->Set))));
  }
}

TEST(KeyCodes, EveryBoundCodeHasAKey) {
  const std::vector<PhysKey> keys = EveryKey();
  for (const BuildConfig* b : AllBuilds()) {
    std::set<uint32_t> produced;
    for (const PhysKey& k : keys) produced.insert(KeyCodeFor(*b, k));
    for (const Binding& x : b->Bindings) {
      EXPECT_TRUE(produced.count(x.Code)) << b->Name << " " << Hex(x.Code) << " " << CommandName(x.Command);
    }
  }
}

// Typing text must never run a command: no unmodified printable character
// delivers a bound code, except Space and '\' whose commands type them.
TEST(KeyCodes, PrintableCharactersRunNoCommand) {
  for (const BuildConfig* b : AllBuilds()) {
    int letters = 0;
    for (int ch = 0x20; ch < 256; ++ch) {
      const char32_t u = UnicodeOf(b->Set, uint8_t(ch));
      if (u == 0x7F || u == 0xFFFD) continue;
      const bool latin = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
      const bool russian = (u >= 0x410 && u <= 0x44F) || u == 0x401 || u == 0x451;
      letters += latin || russian;
      if (ch == ' ' || ch == '\\') continue;
      const Binding* found = Bound(*b, PhysKey{K_Char, 0, uint8_t(ch)});
      EXPECT_EQ(found, nullptr) << b->Name << " " << Utf8Of(u) << " runs "
                                << (found ? CommandName(found->Command) : "");
    }
    EXPECT_EQ(letters, 52 + 66) << b->Name;
  }
}

// The KeyMap entries are exact keys in canonical notation (as the docs show
// them), each key once, and each delivers a code its build binds, but for the
// character keys listed only to keep them from running a command and the keys
// of the questions' abandon codes.
TEST(KeyMaps, EntriesAreWellFormed) {
  for (const BuildConfig* b : AllBuilds()) {
    std::set<PhysKey> seen;
    for (const KeyMapEntry& e : b->KeyMap) {
      SCOPED_TRACE(std::string(b->Name) + " " + e.Key);
      std::vector<PhysKey> keys;
      ASSERT_TRUE(ParseKeyNotation(e.Key, b->Set, keys));
      ASSERT_EQ(keys.size(), 1u);
      EXPECT_EQ(KeyName(keys[0], b->Set), e.Key);
      EXPECT_TRUE(seen.insert(keys[0]).second) << "listed twice";
      EXPECT_EQ(KeyCodeFor(*b, keys[0]), e.Code);
      if (keys[0].Id == K_Char && keys[0].Mods == 0) {
        EXPECT_EQ(FindBinding(*b, e.Code), nullptr);
      } else if (e.Code == b->AskAbandonKeys[0] || e.Code == b->AskAbandonKeys[1]) {
        // a key for the questions' abandon code
      } else {
        EXPECT_NE(FindBinding(*b, e.Code), nullptr) << Hex(e.Code);
      }
    }
  }
}

// The same physical key runs the same command in every build that has it.
TEST(KeyMaps, SameKeySameCommandInEveryBuild) {
  std::map<std::string, std::pair<Cmd, std::string>> first;
  for (const BuildConfig* b : AllBuilds()) {
    for (const KeyMapEntry& e : b->KeyMap) {
      const Binding* found = FindBinding(*b, e.Code);
      if (!found) continue;
      auto [it, fresh] = first.try_emplace(e.Key, found->Command, b->Name);
      if (!fresh) {
        EXPECT_EQ(it->second.first, found->Command)
            << e.Key << ": " << CommandName(found->Command) << " in " << b->Name << ", "
            << CommandName(it->second.first) << " in " << it->second.second;
      }
    }
  }
}

}  // namespace
