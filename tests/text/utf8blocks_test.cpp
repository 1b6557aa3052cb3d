// UTF-8 converted in blocks (of 16, 32 or 64 bytes, each way the processor
// has) gives what the conversion byte by byte gives, wherever in a block a
// character the blocks leave falls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builds/build.h"
#include "support/driver.h"
#include "text/codepage.h"
#include "text/utf8blocks.h"

namespace {

class BlocksSwitch {
 public:
  explicit BlocksSwitch(Utf8Blocks way) : Was(UseUtf8Blocks) { UseUtf8Blocks = way; }
  ~BlocksSwitch() { UseUtf8Blocks = Was; }

 private:
  Utf8Blocks Was;
};

// The ways of converting in blocks that this processor has.
std::vector<Utf8Blocks> BlockWays() {
  std::vector<Utf8Blocks> ways;
  for (Utf8Blocks way : {Utf8Blocks::Ssse3, Utf8Blocks::Avx2, Utf8Blocks::Avx512})
    if (Utf8BlocksAvailable(way)) ways.push_back(way);
  return ways;
}

struct Decoded {
  std::string Out;
  size_t Consumed = 0;
  bool Multibyte = false, Bom = false, Problem = false;
  bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Decoded& d) {
  return os << "consumed " << d.Consumed << " multibyte " << d.Multibyte << " bom " << d.Bom << " problem "
            << d.Problem << " out " << testing::PrintToString(d.Out);
}

Decoded Decode(const std::string& text, bool atStart, bool last, bool strict, bool inPlace) {
  std::string buf = text;
  std::string other(text.size(), '\0');
  Utf8Decoding flags;
  Decoded d;
  char* out = inPlace ? buf.data() : other.data();
  const size_t n = DecodeUtf8Chunk(buf.data(), buf.size(), out, d.Consumed, atStart, last, strict ? &flags : nullptr);
  d.Out.assign(out, n);
  d.Multibyte = flags.Multibyte;
  d.Bom = flags.Bom;
  d.Problem = flags.Problem;
  return d;
}

// Characters the blocks convert, as runs that put lead bytes at even and at
// odd places of a block.
std::string Filler(int kind, size_t bytes) {
  const char* const units[][2] = {{"ж", "ж"}, {"a", "Ё"}, {"ё ", "я"}, {"x", "x"}};
  std::string s;
  for (int k = 0; s.size() < bytes; ++k) s += units[kind][k % 2];
  return s;
}

}  // namespace

// What the blocks leave to the byte-by-byte conversion (characters outside
// U+0400..U+047F, letters a set lacks, bytes that are not UTF-8, sequences
// cut by the end), at every place of the first two blocks, in both sets,
// converted in place and apart, strictly and not, at the end of the file
// and before it.
TEST(Utf8Blocks, DecodingGivesTheByteByByteResult) {
  if (BlockWays().empty()) GTEST_SKIP() << "this processor has no block conversion";
  const std::string pieces[] = {
      "",            // the fillers alone
      "«",           // two bytes, below U+0400
      "є",           // KOI8-R lacks it, 866 has it
      "ѣ",           // in U+0400..U+047F, lacked by both
      "—", "═", "№", // three bytes
      "😀",          // four
      "\x80",        // a continuation byte alone
      "\xD0",        // a lead byte before ASCII or the end
      "\xD0\xD0\x96", "\xC0\x80", "\xED\xA0\x80",  // a lead twice, overlong, a surrogate
      "\xEF\xBB\xBF",  // a byte-order mark inside the text
  };
  for (const BuildConfig* b : {&BuildKoi8, &Build866}) {
    SelectBuild(*b);
    for (const std::string& piece : pieces) {
      for (int kind = 0; kind < 4; ++kind) {
        for (size_t at = 0; at <= 140; ++at) {
          std::string text = Filler(kind, at) + piece;
          text += Filler((kind + 1) % 4, 200 - std::min<size_t>(text.size(), 190));
          for (const std::string& t : {text, text.substr(0, 129), "\xEF\xBB\xBF" + text}) {
            for (int mode = 0; mode < 16; ++mode) {
              const bool atStart = mode & 1, last = mode & 2, strict = mode & 4, inPlace = mode & 8;
              Decoded byBytes;
              {
                BlocksSwitch off(Utf8Blocks::Off);
                byBytes = Decode(t, atStart, last, strict, inPlace);
              }
              for (Utf8Blocks way : BlockWays()) {
                BlocksSwitch on(way);
                ASSERT_EQ(Decode(t, atStart, last, strict, inPlace), byBytes)
                    << Utf8BlocksName(way) << ", " << b->Name << " piece " << testing::PrintToString(piece)
                    << " kind " << kind << " at " << at << " size " << t.size() << " mode " << mode;
              }
            }
          }
        }
      }
    }
  }
  SelectBuild(BuildKoi8Rkbd);
}

// Every byte of both sets, in texts of every length around the block size,
// comes out as its character's UTF-8, with the blocks and without.
TEST(Utf8Blocks, EncodingGivesEveryByteItsUtf8) {
  for (const BuildConfig* b : {&BuildKoi8, &Build866}) {
    SelectBuild(*b);
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (size_t length = 0; length <= 300; ++length) {
      for (int pool = 0; pool < 3; ++pool) {
        // Any byte; ASCII with a few others; the bytes above 127 alone.
        std::string text;
        for (size_t k = 0; k < length; ++k) {
          const uint32_t r = next();
          text += char(pool == 0 ? r & 0xFF : pool == 1 ? (r % 16 == 0 ? 0x80 | (r >> 4 & 0x7F) : 0x20 + r % 95)
                                                        : 0x80 | (r & 0x7F));
        }
        const std::string want = FromSet(b->Set, text);
        std::vector<Utf8Blocks> ways = BlockWays();
        ways.push_back(Utf8Blocks::Off);
        for (Utf8Blocks way : ways) {
          BlocksSwitch use(way);
          std::string out(Utf8Room(text.size()), '\0');
          out.resize(EncodeUtf8(text.data(), text.size(), out.data()));
          ASSERT_EQ(out, want) << b->Name << " length " << length << " pool " << pool << " "
                               << Utf8BlocksName(way);
        }
      }
    }
  }
  SelectBuild(BuildKoi8Rkbd);
}
