// docs/keys.md must stay in step with the builds' key maps: every key it
// lists delivers the code it shows, and every KeyMap entry is listed.
//
// After changing a key map, regenerate the file with
//   vesk_tests --gtest_also_run_disabled_tests --gtest_filter=KeysDoc.DISABLED_Regenerate
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "builds/bindings.h"
#include "builds/build.h"
#include "builds/keymap.h"
#include "screen/keydecode.h"

namespace {

const std::string kDocPath = std::string(VESK_SOURCE_DIR) + "/docs/keys.md";

std::string Hex(uint32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", code);
  return buf;
}

struct DocRow {
  std::string Key;
  std::string Code;
  int Line;
};

// Rows "| `key` | CODE | command |" under "## build-name".
std::map<std::string, std::vector<DocRow>> ReadKeysDoc(const std::string& path) {
  std::map<std::string, std::vector<DocRow>> out;
  std::ifstream in(path);
  std::string line, section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("## ", 0) == 0) {
      section = line.substr(3);
      continue;
    }
    if (section.empty() || line.rfind("| `", 0) != 0) continue;
    const size_t close = line.find("` | ", 3);
    if (close == std::string::npos) continue;
    const size_t codeEnd = line.find(" |", close + 4);
    if (codeEnd == std::string::npos) continue;
    out[section].push_back({line.substr(3, close - 3), line.substr(close + 4, codeEnd - close - 4), number});
  }
  return out;
}

TEST(KeysDoc, ListsEveryKeyMapEntryWithItsCode) {
  const auto doc = ReadKeysDoc(kDocPath);
  ASSERT_FALSE(doc.empty()) << "no key tables in " << kDocPath;
  for (const BuildConfig* b : AllBuilds()) {
    SCOPED_TRACE(b->Name);
    auto section = doc.find(b->Name);
    ASSERT_NE(section, doc.end()) << "no section \"## " << b->Name << "\" in " << kDocPath;
    const std::vector<DocRow>& rows = section->second;
    for (const DocRow& r : rows) {
      std::vector<PhysKey> keys;
      ASSERT_TRUE(ParseKeyNotation(r.Key, b->Set, keys) && keys.size() == 1) << "line " << r.Line << ": " << r.Key;
      EXPECT_EQ(Hex(KeyCodeFor(*b, keys[0])), r.Code) << "line " << r.Line << ": " << r.Key;
    }
    for (const KeyMapEntry& e : b->KeyMap) {
      bool listed = false;
      for (const DocRow& r : rows) listed |= r.Key == e.Key && r.Code == Hex(e.Code);
      EXPECT_TRUE(listed) << e.Key << " " << Hex(e.Code) << " is missing from " << kDocPath;
    }
  }
}

// ---------------------------------------------------------------------------
// The generator.

const char kIntro[] = R"(# Keys

Which key runs which command, build by build.  Generated from the builds'
tables (builds/commands.def, builds/buildtables.h, each build's file) by the disabled test
KeysDoc.DISABLED_Regenerate; a unit test checks that every key listed here
delivers the code shown and that every entry of a build's key map is listed.

Notation: `<C-x>` is Ctrl+x, `<A-x>` Alt+x, `<S-x>` Shift+x, combined as in
`<C-A-S-Up>`.  `<A-F>` is Alt with the capital F, that is Alt+Shift+f; it
is a different key from `<A-f>`.  `<BS>` is Backspace, `<Ins>` and `<Del>`
are Insert and Delete.  The code is the 32-bit key code the editor sees, in
hexadecimal (flags, shift state, scan code, character), as the Keystrokes
screen and the key-code key of the prompt line show it.

Keys not listed:

- A character types itself.  Its code is the character and the scan code of
  its key (`a` 00001E61; Cyrillic letters the key of the Russian layout).
- Alt with a key not listed (a character, function or cursor key) is a
  key-definition key: it types the text defined for it, or asks for one.
  Esc followed at once by Alt+key defines the key anew.
- Other Ctrl and Shift combinations of function and cursor keys deliver
  their key number with the modifiers in the shift state and run no
  command.

The builds without the Russian keyboard option (vesk-koi8, vesk-866) have
two more commands: sum over the block (`<A-q>`) and switching the Russian
layout (`<S-F11>`).  In the builds with it, those keys are key-definition
keys or run nothing.  In the code-page-866 builds Ctrl+F delivers the code
of paragraph formatting (justified), as Alt+Shift+F does.

The Keystrokes screen (main menu item 6) shows every key until Alt+Ctrl+Tab
(which many terminals send as Alt+Tab, and many window managers take for
themselves) or Alt+Shift+K, which every terminal sends.  In the builds with
the Russian keyboard option Ctrl+Alt+Q abandons a question, as Ctrl+Q does
in the others.

Terminals:

- The editor asks xterm (TERM xterm*) to send Alt as an Esc prefix while
  it runs (metaSendsEscape, put back as it was on the way out).  Where a
  terminal sets the eighth bit for Alt instead, Alt keys type accented
  letters; set the terminal to send an Esc prefix (`metaSendsEscape` in
  xterm, the default in urxvt, VTE terminals and the Linux console; under
  tmux or screen it is the outer terminal's setting that counts).
- In urxvt (and the rest of the rxvt family) and on the Linux console,
  Shift+F1 and Shift+F2 send the same bytes as F11 and F12 and run their
  commands; there, take a file with the main menu's Файл item 4 (F10 1 4)
  and write the block with Файл item 3 (F10 1 3).  The other shifted
  function keys run the same command in every terminal.  On the Linux
  console Ctrl and Alt with function and cursor keys, and Shift+F11/F12,
  send nothing of their own (switch the Russian layout with main menu item
  8); urxvt and xterm keep Shift+Insert and Shift+PgUp/PgDn for themselves.
- Without modifyOtherKeys or the keyboard protocol below, terminals send
  Ctrl+Tab as Tab and Ctrl+Enter or Shift+Enter as Enter.
- Pasted text arrives bracketed (the editor turns the mode on) and goes in
  as text: no key of it runs a command.
- Esc ends the editor after 35 ms (VESK_ESC_TIMEOUT), the time that tells a
  lone Esc from the start of a key's sequence.  Terminals that answer the
  keyboard-protocol query (kitty, foot, WezTerm, Ghostty and others) report
  Esc as a sequence of its own; there it acts at once.
)";

// Keys whose family code runs a command in some build.
std::vector<std::string> FamilyKeys() {
  std::vector<std::string> v;
  for (int i = 1; i <= 12; ++i) v.push_back("<F" + std::to_string(i) + ">");
  for (const char* k : {"<Home>", "<End>", "<PgUp>", "<PgDn>", "<Up>", "<Down>", "<Left>", "<Right>", "<Ins>",
                        "<Del>", "<Esc>", "<Tab>", "<S-Tab>", "<Enter>", "<BS>", "<Space>", "<A-Space>", "\\",
                        "<A-F9>", "<C-F12>"})
    v.push_back(k);
  for (char c = 'a'; c <= 'z'; ++c) v.push_back(std::string("<C-") + c + ">");
  return v;
}

std::string RenderKeysDoc() {
  std::string out = kIntro;
  for (const BuildConfig* b : AllBuilds()) {
    out += "\n## " + std::string(b->Name) + "\n\n| Key | Code | Command |\n|---|---|---|\n";
    struct Row {
      size_t Command;
      std::string Key;
      uint32_t Code;
      std::string Name;
    };
    std::vector<Row> rows;
    auto add = [&](const std::string& key) {
      std::vector<PhysKey> k;
      if (!ParseKeyNotation(key, b->Set, k) || k.size() != 1) {
        ADD_FAILURE() << "bad key " << key;
        return;
      }
      const uint32_t code = KeyCodeFor(*b, k[0]);
      if (const Binding* f = FindBinding(*b, code))
        rows.push_back({size_t(f->Command), key, code, CommandName(f->Command)});
      else if (code == b->AskAbandonKeys[0] || code == b->AskAbandonKeys[1])
        rows.push_back({kCmdCount, key, code, "abandons a question (as Esc, but also where Esc is an answer)"});
      else if (k[0].Id == K_Char && k[0].Mods == 0)
        rows.push_back({kCmdCount, key, code, "types " + key + " (without the scan code, which a command uses)"});
    };
    for (const std::string& k : FamilyKeys()) {
      bool inMap = false;
      for (const KeyMapEntry& e : b->KeyMap) inMap |= k == e.Key;
      if (!inMap) add(k);
    }
    for (const KeyMapEntry& e : b->KeyMap) add(e.Key);
    std::stable_sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) { return x.Command < y.Command; });
    for (const Row& r : rows) out += "| `" + r.Key + "` | " + Hex(r.Code) + " | " + r.Name + " |\n";
  }
  return out;
}

TEST(KeysDoc, DISABLED_Regenerate) {
  std::ofstream(kDocPath) << RenderKeysDoc();
  EXPECT_TRUE(ReadKeysDoc(kDocPath).size() == AllBuilds().size());
}

}  // namespace
