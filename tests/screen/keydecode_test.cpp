// Terminal bytes to physical keys, byte for byte, on a fake clock: the forms
// xterm, rxvt-likes and the Linux console send, split reads, the lone-Esc
// timeout, and the codes the decoded keys deliver in a build.
#include "screen/keydecode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "builds/build.h"
#include "builds/keymap.h"

namespace {

constexpr int kTimeout = 35;

std::vector<PhysKey> Keys(std::string_view notation, Charset set) {
  std::vector<PhysKey> keys;
  EXPECT_TRUE(ParseKeyNotation(notation, set, keys)) << notation;
  return keys;
}

std::string Names(const std::vector<PhysKey>& keys, Charset set) {
  std::string s;
  for (const PhysKey& k : keys) s += KeyName(k, set);
  return s;
}

std::string Hex(std::string_view bytes) {
  std::string s;
  for (char c : bytes) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X ", unsigned(uint8_t(c)));
    s += buf;
  }
  return s;
}

// A decoder with its own clock.
struct Harness {
  Harness(Charset set, InputEncoding enc, uint8_t backspace = 0x7F, int timeout = kTimeout) : Set(set) {
    D.Configure(set, enc, timeout);
    D.SetBackspaceByte(backspace);
  }
  void Feed(std::string_view bytes) { D.Feed(bytes, Clock); }
  void Wait(int ms) { Clock += ms; }
  // The keys decidable now.
  std::vector<PhysKey> Drain() {
    std::vector<PhysKey> keys;
    PhysKey k;
    while (D.Next(k, Clock)) keys.push_back(k);
    return keys;
  }
  // One read: what is decided at once, then what the timeout decides.
  std::vector<PhysKey> Type(std::string_view bytes, std::vector<PhysKey>* atOnce = nullptr) {
    Feed(bytes);
    std::vector<PhysKey> keys = Drain();
    if (atOnce) *atOnce = keys;
    Wait(1000);
    for (const PhysKey& k : Drain()) keys.push_back(k);
    EXPECT_FALSE(D.Pending());
    return keys;
  }

  KeyDecoder D;
  Charset Set;
  int64_t Clock = 1000;
};

struct Case {
  std::string_view Bytes;
  const char* Keys;  // notation
};

// Keys decided as soon as their bytes are in (UTF-8 input, KOI8-R set,
// Backspace 7F).
constexpr Case kImmediate[] = {
    {"a", "a"}, {"Zq~ ", "Zq~<Space>"}, {"жЁя", "жЁя"}, {"<", "<lt>"},
    {"€", ""}, {"a€b", "ab"}, {"№", ""},  // not in KOI8-R
    {"\xff", ""}, {"\xd0x", "x"},         // malformed UTF-8
    // Alt and Esc-then-Alt.
    {"\x1bx", "<A-x>"}, {"\x1bж", "<A-ж>"}, {"\x1b\x1bx", "<EscAlt-x>"}, {"\x1b\x1bЖ", "<EscAlt-Ж>"},
    {"\x1b ", "<A-Space>"}, {"\x1b\x7f", "<A-BS>"}, {"\x1b\r", "<A-Enter>"}, {"\x1b\x01", "<C-A-a>"},
    // Cursor keys, CSI and SS3.
    {"\x1b[A", "<Up>"}, {"\x1b[B", "<Down>"}, {"\x1b[C", "<Right>"}, {"\x1b[D", "<Left>"},
    {"\x1b[H", "<Home>"}, {"\x1b[F", "<End>"}, {"\x1bOA", "<Up>"}, {"\x1bOB", "<Down>"},
    {"\x1bOC", "<Right>"}, {"\x1bOD", "<Left>"}, {"\x1bOH", "<Home>"}, {"\x1bOF", "<End>"},
    {"\x1b[2~", "<Ins>"}, {"\x1b[3~", "<Del>"}, {"\x1b[5~", "<PgUp>"}, {"\x1b[6~", "<PgDn>"},
    {"\x1b[1~", "<Home>"}, {"\x1b[4~", "<End>"}, {"\x1b[7~", "<Home>"}, {"\x1b[8~", "<End>"},
    // xterm modifiers.
    {"\x1b[1;5A", "<C-Up>"}, {"\x1b[1;2D", "<S-Left>"}, {"\x1b[1;3B", "<A-Down>"}, {"\x1b[1;7A", "<C-A-Up>"},
    {"\x1b[1;6C", "<C-S-Right>"}, {"\x1b[1;9H", "<A-Home>"}, {"\x1b[5;5~", "<C-PgUp>"},
    {"\x1b[6;2~", "<S-PgDn>"}, {"\x1b[3;5~", "<C-Del>"}, {"\x1b[2;5~", "<C-Ins>"}, {"\x1b[Z", "<S-Tab>"},
    // Function keys.
    {"\x1bOP", "<F1>"}, {"\x1bOQ", "<F2>"}, {"\x1bOR", "<F3>"}, {"\x1bOS", "<F4>"},
    {"\x1b[11~", "<F1>"}, {"\x1b[12~", "<F2>"}, {"\x1b[13~", "<F3>"}, {"\x1b[14~", "<F4>"},
    {"\x1b[15~", "<F5>"}, {"\x1b[17~", "<F6>"}, {"\x1b[18~", "<F7>"}, {"\x1b[19~", "<F8>"},
    {"\x1b[20~", "<F9>"}, {"\x1b[21~", "<F10>"}, {"\x1b[23~", "<F11>"}, {"\x1b[24~", "<F12>"},
    {"\x1b[15;2~", "<S-F5>"}, {"\x1b[24;6~", "<C-S-F12>"}, {"\x1b[1;2P", "<S-F1>"}, {"\x1b[1;5R", "<C-F3>"},
    {"\x1bO2S", "<S-F4>"}, {"\x1b[20;3~", "<A-F9>"},
    // rxvt's modified keys.
    {"\x1b[3^", "<C-Del>"}, {"\x1b[5$", "<S-PgUp>"}, {"\x1bOa", "<C-Up>"}, {"\x1b[d", "<S-Left>"},
    // Linux console.
    {"\x1b[[A", "<F1>"}, {"\x1b[[B", "<F2>"}, {"\x1b[[C", "<F3>"}, {"\x1b[[D", "<F4>"}, {"\x1b[[E", "<F5>"},
    // Esc before a function-key sequence: Alt.
    {"\x1b\x1b[A", "<A-Up>"}, {"\x1b\x1bOP", "<A-F1>"}, {"\x1b\x1b[21~", "<A-F10>"}, {"\x1b\x1b[1;5D", "<C-A-Left>"},
    // modifyOtherKeys and CSI u.
    {"\x1b[27;5;9~", "<C-Tab>"}, {"\x1b[9;5u", "<C-Tab>"}, {"\x1b[27;2;13~", "<S-Enter>"},
    {"\x1b[27;5;65~", "<C-a>"}, {"\x1b[97;7u", "<C-A-a>"},
    // Unknown or private sequences vanish without eating the next key.
    {"\x1b[99xa", "a"}, {"\x1b[?1;2cb", "b"}, {"\x1b[99~c", "c"}, {"\x1b[201~d", "d"}, {"\x1bOzq", "q"},
    {"\x1b[?1ue", "e"},
    {"\x1b[[Zw", "w"}, {"\x1b[1;5\x01", "<C-a>"},
    // The VT220's F13..F20 and rxvt's Shift+F11/F12: Shift+F3..Shift+F12 in
    // rxvt and the Linux console (their Shift+F1/F2 send F11/F12).
    {"\x1b[25~", "<S-F3>"}, {"\x1b[26~", "<S-F4>"}, {"\x1b[28~", "<S-F5>"}, {"\x1b[29~", "<S-F6>"},
    {"\x1b[31~", "<S-F7>"}, {"\x1b[32~", "<S-F8>"}, {"\x1b[33~", "<S-F9>"}, {"\x1b[34~", "<S-F10>"},
    {"\x1b[23$", "<S-F11>"}, {"\x1b[24$", "<S-F12>"}, {"\x1b[25^", "<C-S-F3>"}, {"\x1b[34$", "<S-F10>"},
    {"\x1b[13^", "<C-F3>"}, {"\x1b[24@", "<C-S-F12>"},
    // The keyboard protocol's forms (kitty and others): the lock keys'
    // bits are dropped, Shift gives the shifted character, the keypad has
    // numbers of its own.
    {"\x1b[27u", "<Esc>"}, {"\x1b[27;3u", "<A-Esc>"}, {"\x1b[97;5u", "<C-a>"}, {"\x1b[97;3u", "<A-a>"},
    {"\x1b[97;4u", "<A-A>"}, {"\x1b[49;4u", "<A-!>"}, {"\x1b[97:65;4u", "<A-A>"}, {"\x1b[1092;3u", "<A-ф>"},
    {"\x1b[1092;4u", "<A-Ф>"}, {"\x1b[97;69u", "<C-a>"}, {"\x1b[97;133u", "<C-a>"}, {"\x1b[13;3u", "<A-Enter>"},
    {"\x1b[9;2u", "<S-Tab>"}, {"\x1b[127;5u", "<C-BS>"}, {"\x1b[105;5u", "<C-i>"}, {"\x1b[91;5u", "<C-[>"},
    {"\x1b[57414u", "<Enter>"}, {"\x1b[57399u", "0"}, {"\x1b[57417;5u", "<C-Left>"}, {"\x1b[57426u", "<Del>"},
    {"\x1b[9;7u", "<C-A-Tab>"}, {"\x1b[57441u", ""}, {"\x1b[1;5P", "<C-F1>"}, {"\x1b[1;3D", "<A-Left>"},
    // Several keys in one read stay in order.
    {"a\x1b[Ab\x1bOP\r\x1b[1;5Cж\x1b\x1bx\t", "a<Up>b<F1><Enter><C-Right>ж<EscAlt-x><Tab>"},
    {"\x1b[A\x1b[A\x1b[B", "<Up><Up><Down>"},
};

TEST(KeyDecode, SequencesDecodeAtOnce) {
  for (const Case& c : kImmediate) {
    Harness h(Charset::Koi8, InputEncoding::Utf8);
    std::vector<PhysKey> atOnce;
    const std::vector<PhysKey> want = Keys(c.Keys, Charset::Koi8);
    EXPECT_EQ(Names(h.Type(c.Bytes, &atOnce), Charset::Koi8), Names(want, Charset::Koi8)) << Hex(c.Bytes);
    EXPECT_EQ(atOnce, want) << Hex(c.Bytes) << ": waited for the timeout";
  }
}

// Every sequence cut in two at every point, the second part arriving before
// the timeout: the same keys, and none from a prefix of a single key.
TEST(KeyDecode, SplitReadsYieldTheSameKeys) {
  for (const Case& c : kImmediate) {
    const std::vector<PhysKey> want = Keys(c.Keys, Charset::Koi8);
    for (size_t cut = 1; cut < c.Bytes.size(); ++cut) {
      Harness h(Charset::Koi8, InputEncoding::Utf8);
      h.Feed(c.Bytes.substr(0, cut));
      std::vector<PhysKey> got = h.Drain();
      h.Wait(kTimeout - 5);
      for (const PhysKey& k : h.Drain()) got.push_back(k);
      if (want.size() == 1) {
        EXPECT_TRUE(got.empty()) << Hex(c.Bytes) << " cut at " << cut;
      }
      for (const PhysKey& k : h.Type(c.Bytes.substr(cut))) got.push_back(k);
      EXPECT_EQ(Names(got, Charset::Koi8), Names(want, Charset::Koi8)) << Hex(c.Bytes) << " cut at " << cut;
    }
  }
}

TEST(KeyDecode, ControlBytesAndBackspace) {
  for (uint8_t bs : {uint8_t(0x7F), uint8_t(0x08)}) {
    for (int b = 1; b <= 26; ++b) {
      std::string want = b == 9 ? "<Tab>" : b == 13 ? "<Enter>" : std::string("<C-") + char('a' + b - 1) + ">";
      if (b == 8) want = bs == 0x08 ? "<BS>" : "<C-BS>";
      Harness h(Charset::Koi8, InputEncoding::Utf8, bs);
      EXPECT_EQ(Names(h.Type(std::string(1, char(b))), Charset::Koi8), want) << "byte " << b << " bs " << int(bs);
    }
    const std::string other = bs == 0x7F ? "\x08" : "\x7f";
    const std::string mine(1, char(bs));
    const std::pair<std::string, const char*> cases[] = {
        {mine, "<BS>"}, {other, "<C-BS>"}, {"\x1b" + mine, "<A-BS>"}, {"\x1b" + other, "<C-A-BS>"}};
    for (const auto& [bytes, keys] : cases) {
      Harness h(Charset::Koi8, InputEncoding::Utf8, bs);
      EXPECT_EQ(Names(h.Type(bytes), Charset::Koi8), keys) << Hex(bytes) << " bs " << int(bs);
    }
  }
}

// Characters arrive as UTF-8 or as 8-bit bytes of either set and reach the
// editor in the build's set; characters the set lacks are dropped.
TEST(KeyDecode, CharactersInEitherSetAndEncoding) {
  struct EncCase {
    Charset Set;
    InputEncoding Enc;
    std::string_view Bytes;
    const char* Keys;  // in the build's set
  };
  constexpr EncCase kCases[] = {
      {Charset::Cp866, InputEncoding::Utf8, "жЁя№", "жЁя№"},
      {Charset::Cp866, InputEncoding::Utf8, "÷€x", "x"},
      {Charset::Koi8, InputEncoding::Utf8, "÷", "÷"},
      {Charset::Koi8, InputEncoding::Koi8, "\xc1\xe1\xa3\xb3z", "аАёЁz"},
      {Charset::Cp866, InputEncoding::Koi8, "\xc1\xe1\xa3\xb3z", "аАёЁz"},
      {Charset::Cp866, InputEncoding::Koi8, "\x9f\xc1", "а"},  // ÷ is not in CP866
      {Charset::Cp866, InputEncoding::Cp866, "\xa0\x80\xf1\xf0\xfc", "аАёЁ№"},
      {Charset::Koi8, InputEncoding::Cp866, "\xa0\x80\xf1\xf0", "аАёЁ"},
      {Charset::Koi8, InputEncoding::Cp866, "\xfc\xa0", "а"},  // № is not in KOI8-R
      {Charset::Koi8, InputEncoding::Koi8, "\x1b\xc1\x1b\x1b\xe1", "<A-а><EscAlt-А>"},
      {Charset::Cp866, InputEncoding::Cp866, "\x1b\xa0\x1b[A", "<A-а><Up>"},
  };
  for (const EncCase& c : kCases) {
    Harness h(c.Set, c.Enc);
    EXPECT_EQ(Names(h.Type(c.Bytes), c.Set), Names(Keys(c.Keys, c.Set), c.Set))
        << Hex(c.Bytes) << " set " << int(c.Set) << " enc " << int(c.Enc);
  }
}

// A lone Esc (or an unfinished sequence) is decided by the timeout alone,
// counted from the last bytes that came in.
TEST(KeyDecode, TimeoutDecidesLoneEscAndUnfinishedSequences) {
  for (int timeout : {kTimeout, 100}) {
    Harness h(Charset::Koi8, InputEncoding::Utf8, 0x7F, timeout);
    PhysKey k;
    EXPECT_EQ(h.D.Deadline(), -1);
    h.Feed("\x1b");
    EXPECT_EQ(h.D.Deadline(), 1000 + timeout);
    EXPECT_FALSE(h.D.Next(k, 1000));
    EXPECT_FALSE(h.D.Next(k, 1000 + timeout - 1));
    ASSERT_TRUE(h.D.Next(k, 1000 + timeout));
    EXPECT_EQ(KeyName(k, Charset::Koi8), "<Esc>");
    EXPECT_EQ(h.D.Deadline(), -1);
    EXPECT_FALSE(h.D.Pending());
  }
  // Later bytes push the deadline back.
  Harness h(Charset::Koi8, InputEncoding::Utf8);
  h.Feed("\x1b[1;");
  h.Wait(20);
  h.Feed("5");
  EXPECT_EQ(h.D.Deadline(), h.Clock + kTimeout);
  h.Wait(kTimeout - 1);
  EXPECT_TRUE(h.Drain().empty());
  EXPECT_TRUE(h.D.Pending());
  h.Wait(1);
  EXPECT_TRUE(h.Drain().empty()) << "an unfinished sequence typed something";
  EXPECT_FALSE(h.D.Pending());
  EXPECT_EQ(Names(h.Type("a"), Charset::Koi8), "a");

  const Case kTimed[] = {
      {"\x1b\x1b", "<Esc><Esc>"},
      {"\x1b[", "<A-[>"},
      {"\x1bO", "<A-O>"},
      {"\x1b\x1b[", "<EscAlt-[>"},
      {"\x1b[2", ""},
      {"\x1bOP\x1b", "<F1><Esc>"},
      {"\xd0", ""},  // half a UTF-8 letter
  };
  for (const Case& c : kTimed) {
    Harness t(Charset::Koi8, InputEncoding::Utf8);
    std::vector<PhysKey> atOnce;
    const std::vector<PhysKey> got = t.Type(c.Bytes, &atOnce);
    EXPECT_EQ(Names(got, Charset::Koi8), Names(Keys(c.Keys, Charset::Koi8), Charset::Koi8)) << Hex(c.Bytes);
    EXPECT_LT(atOnce.size(), got.size() + (got.empty() ? 1 : 0)) << Hex(c.Bytes) << ": decided before the timeout";
  }
}

// A bracketed paste is one K_Paste with its text, whatever bytes it holds
// and however the reads cut it; keys around it stay keys.
TEST(KeyDecode, BracketedPasteIsTextNotKeys) {
  const std::string bytes =
      "x\x1b[200~a\r\nb\rc\nd\x1b[A\x1bOP\t\x7f│€ж\x1b[20\x1b[201~y\x1b[200~\x1b[201~\x1b[A";
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    Harness h(Charset::Koi8, InputEncoding::Utf8);
    h.Feed(bytes.substr(0, cut));
    std::vector<PhysKey> got = h.Drain();
    h.Wait(kTimeout - 5);
    for (const PhysKey& k : h.Drain()) got.push_back(k);
    h.Feed(bytes.substr(cut));
    for (const PhysKey& k : h.Drain()) got.push_back(k);
    EXPECT_FALSE(h.D.Pending()) << "cut at " << cut;
    ASSERT_EQ(got.size(), 5u) << "cut at " << cut;
    EXPECT_EQ(KeyName(got[0], Charset::Koi8), "x");
    EXPECT_EQ(got[1].Id, K_Paste);
    EXPECT_EQ(KeyName(got[2], Charset::Koi8), "y");
    EXPECT_EQ(got[3].Id, K_Paste);
    EXPECT_EQ(KeyName(got[4], Charset::Koi8), "<Up>");
    const PastedText p = h.D.TakePaste();
    EXPECT_EQ(p.Text, "a\nb\nc\nd?[A?OP\t?\x81?\xd6?[20") << "cut at " << cut;
    EXPECT_EQ(p.Missing, 5) << "cut at " << cut;
    const PastedText empty = h.D.TakePaste();
    EXPECT_EQ(empty.Text, "");
    EXPECT_EQ(empty.Missing, 0);
  }
  // In a KOI8-R terminal, into the 866 set.
  Harness k(Charset::Cp866, InputEncoding::Koi8);
  k.Feed("\x1b[200~\xc1\x9f\xa3\n\x1b[201~");
  PhysKey key;
  ASSERT_TRUE(k.D.Next(key, k.Clock));
  EXPECT_EQ(key.Id, K_Paste);
  const PastedText p = k.D.TakePaste();
  EXPECT_EQ(p.Text, "\xa0?\xf1\n");
  EXPECT_EQ(p.Missing, 1);
  // A paste whose end never comes ends after two quiet seconds, not at the
  // Esc timeout.
  Harness u(Charset::Koi8, InputEncoding::Utf8);
  u.Feed("\x1b[200~abc");
  EXPECT_TRUE(u.Drain().empty());
  u.Wait(1000);
  EXPECT_TRUE(u.Drain().empty());
  EXPECT_TRUE(u.D.Pending());
  EXPECT_EQ(u.D.Deadline(), u.Clock + 1000);
  u.Wait(1000);
  const std::vector<PhysKey> ended = u.Drain();
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].Id, K_Paste);
  EXPECT_EQ(u.D.TakePaste().Text, "abc");
}

// The answers to the start-up queries are noticed and type nothing.
TEST(KeyDecode, TerminalAnswersAreNoticedNotTyped) {
  Harness h(Charset::Koi8, InputEncoding::Utf8);
  EXPECT_EQ(Names(h.Type("a\x1b[?1ub"), Charset::Koi8), "ab");
  EXPECT_TRUE(h.D.TakeProtocolReply());
  EXPECT_FALSE(h.D.TakeProtocolReply());
  EXPECT_FALSE(h.D.TakeAttributesReply());
  EXPECT_EQ(Names(h.Type("\x1b[?62;22c\x1b[27u"), Charset::Koi8), "<Esc>");
  EXPECT_TRUE(h.D.TakeAttributesReply());
  EXPECT_FALSE(h.D.TakeProtocolReply());
  EXPECT_EQ(Names(h.Type("\x1b[?0u"), Charset::Koi8), "");
  EXPECT_TRUE(h.D.TakeProtocolReply());
}

// Sequences from the terminal's description win over the built-in forms.
TEST(KeyDecode, AddedSequencesTakePrecedence) {
  Harness h(Charset::Koi8, InputEncoding::Utf8);
  const auto add = [&](std::string_view bytes, const char* key) { h.D.AddSequence(bytes, Keys(key, Charset::Koi8)[0]); };
  add("\x1bxy", "<F3>");     // made up, and a prefix of it is Alt+x
  add("\x1b[A", "<C-Up>");   // overrides the built-in Up
  add("\x1bOw", "<F9>");     // otherwise keypad 7
  add("\x1bOw", "<F8>");     // a second description of it is ignored
  add("\x1b[57~", "<S-F12>");
  add("\x1b[57~X", "<C-F12>");  // the longest match wins
  add("x", "<F1>");          // not an escape sequence: ignored
  const Case kCases[] = {
      {"\x1bxy", "<F3>"},  {"\x1b[A", "<C-Up>"},        {"\x1bOw", "<F9>"},    {"\x1b[57~", "<S-F12>"},
      {"\x1b[57~X", "<C-F12>"}, {"\x1b[57~Y", "<S-F12>Y"}, {"x", "x"},         {"\x1bxz", "<A-x>z"},
      {"\x1bx", "<A-x>"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(Names(h.Type(c.Bytes), Charset::Koi8), Names(Keys(c.Keys, Charset::Koi8), Charset::Koi8)) << Hex(c.Bytes);
  // The prefix waits for the rest.
  h.Feed("\x1bx");
  EXPECT_TRUE(h.Drain().empty());
  h.Wait(10);
  EXPECT_EQ(Names(h.Type("y"), Charset::Koi8), "<F3>");
}

TEST(KeyDecode, NotationRoundTrip) {
  constexpr const char* kCanonical[] = {
      "<F2>", "<C-y>", "<A-w>", "<S-Up>", "<C-A-Down>", "<Esc>", "<Tab>", "<Enter>", "<BS>", "<Space>",
      "<lt>", "<gt>", "<EscAlt-x>", "<EscAlt-C-A-S-F12>", "ж", "Ё", "<A-ж>", "<C-S-F5>", "<S-Tab>",
      "<A-Space>", "<C-Del>", "<C-Ins>", "<PgUp>", "<PgDn>", "<Home>", "<End>", "<Left>", "<Right>",
      "<C-BS>", "<A-Enter>", "a", "~", "0",
  };
  for (Charset set : {Charset::Koi8, Charset::Cp866}) {
    for (const char* n : kCanonical) {
      const std::vector<PhysKey> k = Keys(n, set);
      ASSERT_EQ(k.size(), 1u) << n;
      EXPECT_EQ(KeyName(k[0], set), n);
    }
    struct Alias {
      const char* In;
      const char* Canonical;
    };
    constexpr Alias kAliases[] = {
        {"<Insert>", "<Ins>"}, {"<Delete>", "<Del>"}, {"<CR>", "<Enter>"}, {"<Backspace>", "<BS>"},
        {"<M-x>", "<A-x>"},    {"<C-Y>", "<C-y>"},    {"<S-C-Up>", "<C-S-Up>"}, {"\n", "<Enter>"},
        {"\t", "<Tab>"},       {"<a>", "a"},
    };
    for (const Alias& a : kAliases) EXPECT_EQ(Names(Keys(a.In, set), set), a.Canonical) << a.In;
    std::vector<PhysKey> seq;
    ASSERT_TRUE(ParseKeyNotation("ab<F2>в<C-A-Down>", set, seq));
    EXPECT_EQ(Names(seq, set), "ab<F2>в<C-A-Down>");
    for (const char* bad : {"€", "<Nope>", "<F2", "<C-€>", "a<"}) {
      std::vector<PhysKey> out;
      EXPECT_FALSE(ParseKeyNotation(bad, set, out)) << bad;
    }
  }
  EXPECT_EQ(Keys("<C-A-Down>", Charset::Koi8)[0], (PhysKey{K_Down, M_Ctrl | M_Alt, 0}));
  EXPECT_EQ(Keys("<EscAlt-x>", Charset::Koi8)[0], (PhysKey{K_Char, M_EscAlt, 'x'}));
  EXPECT_EQ(Keys("ж", Charset::Koi8)[0], (PhysKey{K_Char, 0, 0xD6}));
  EXPECT_EQ(Keys("ж", Charset::Cp866)[0], (PhysKey{K_Char, 0, 0xA6}));
  std::vector<PhysKey> none;
  EXPECT_FALSE(ParseKeyNotation("№", Charset::Koi8, none));
  EXPECT_TRUE(ParseKeyNotation("№", Charset::Cp866, none));
}

// Terminal bytes to the 32-bit codes of the KOI8-R Russian-keyboard build.
TEST(KeyDecode, BytesToBuildCodes) {
  struct CodeCase {
    std::string_view Bytes;
    uint32_t Code;
  };
  constexpr CodeCase kCases[] = {
      {"\x1b[21~", 0x0200FF0A}, {"\x1b", 0x0000011B},     {" ", 0x00003920},         {"\\", 0x00002B5C},
      {"\r", 0x00001C0D},       {"\x19", 0x00001519},     {"\t", 0x00000F09},        {"\x7f", 0x00000E08},
      {"\x1b[Z", 0x03000F00},   {"\x1b ", 0x03083900},    {"\x1b[20;3~", 0x0208FF09}, {"\x1b\x1b[20~", 0x0208FF09},
      {"a", 0x00001E61},        {"\x1bOQ", 0x0200FF02},   {"\x1b[A", 0x0200FF21},    {"\x1b[6~", 0x0200FF28},
  };
  for (const CodeCase& c : kCases) {
    Harness h(Charset::Koi8, InputEncoding::Utf8);
    const std::vector<PhysKey> keys = h.Type(c.Bytes);
    ASSERT_EQ(keys.size(), 1u) << Hex(c.Bytes);
    char want[16], got[16];
    std::snprintf(want, sizeof want, "%08X", c.Code);
    std::snprintf(got, sizeof got, "%08X", KeyCodeFor(BuildKoi8Rkbd, keys[0]));
    EXPECT_STREQ(got, want) << Hex(c.Bytes) << " " << KeyName(keys[0], Charset::Koi8);
  }
}

}  // namespace
