#include "text/utf8blocks.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define VESK_UTF8_BLOCKS 1
#include <immintrin.h>

#include <array>
#endif

#ifdef VESK_UTF8_BLOCKS

bool Utf8BlocksAvailable() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
  }();
  return has;
}

bool UseUtf8Blocks = Utf8BlocksAvailable();

namespace {

// Byte 2k of the pairs is the first byte of character k, byte 2k + 1 its
// second (64 + k: from the second table).
constexpr auto MakeInterleave() {
  std::array<char, 64> order{};
  for (int k = 0; k < 64; ++k) order[size_t(k)] = char(k % 2 == 0 ? k / 2 : 64 + k / 2);
  return order;
}
alignas(64) constexpr std::array<char, 64> kInterleave = MakeInterleave();

}  // namespace

#define VESK_BLOCKS_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

VESK_BLOCKS_TARGET
bool DecodeUtf8Blocks(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* fromCyrillic) {
  size_t i = at, o = to;
  const __m512i tableLow = _mm512_loadu_si512(fromCyrillic);
  const __m512i tableHigh = _mm512_loadu_si512(fromCyrillic + 64);
  const __m512i topTwo = _mm512_set1_epi8(char(0xC0)), continuation = _mm512_set1_epi8(char(0x80));
  const __m512i leadBits = _mm512_set1_epi8(char(0xFE)), cyrillicLead = _mm512_set1_epi8(char(0xD0));
  const __m512i one = _mm512_set1_epi8(1), lowSix = _mm512_set1_epi8(0x3F);
  bool converted = false;
  // Blocks follow one another every 64 bytes, so that where the next one
  // starts does not wait for what this one holds; a character cut by the
  // end of a block is converted with it, and its continuation byte, the
  // next block's first (`carry`), is dropped there.
  uint64_t carry = 0;
  while (i + 65 <= n) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const uint64_t high = _mm512_movepi8_mask(v);
    if (high == 0) {  // ASCII: as it is (carry is 0: a continuation is not ASCII)
      _mm512_storeu_si512(out + o, v);
      i += 64;
      o += 64;
      continue;
    }
    // The byte after each: the continuation of a lead byte.
    const __m512i next = _mm512_loadu_si512(in + i + 1);
    const uint64_t conts = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, topTwo), continuation);
    const uint64_t leads = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, leadBits), cyrillicLead);
    const uint64_t nextConts = _mm512_cmpeq_epi8_mask(_mm512_and_si512(next, topTwo), continuation);
    // Every byte above 127 a lead byte D0 or D1 followed by exactly one
    // continuation byte.
    if ((leads | conts) != high || conts != ((leads << 1) | carry) || (leads & ~nextConts) != 0) break;
    // The character's place in U+0400..U+047F: the lead's low bit and the
    // continuation's six.  (The shift moves no bit across a byte.)
    const __m512i index = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(v, one), 6), _mm512_and_si512(next, lowSix));
    const __m512i bytes = _mm512_permutex2var_epi8(tableLow, index, tableHigh);
    if ((leads & ~_mm512_test_epi8_mask(bytes, bytes)) != 0) break;  // a letter the set lacks
    const __m512i chars = _mm512_mask_blend_epi8(leads, v, bytes);
    // Written whole: o + 64 <= i + 64, before anything not yet read.
    _mm512_storeu_si512(out + o, _mm512_maskz_compress_epi8(~conts, chars));
    o += 64 - size_t(_mm_popcnt_u64(conts));
    carry = leads >> 63;
    i += 64;
    converted = true;
  }
  at = i + carry;
  to = o;
  return converted;
}

VESK_BLOCKS_TARGET
void EncodeUtf8Blocks(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* lead,
                      const uint8_t* cont) {
  size_t i = at, o = to;
  const __m512i leadLow = _mm512_loadu_si512(lead), leadHigh = _mm512_loadu_si512(lead + 64);
  const __m512i contLow = _mm512_loadu_si512(cont), contHigh = _mm512_loadu_si512(cont + 64);
  const __m512i interleave = _mm512_load_si512(kInterleave.data());
  while (i < n) {
    const size_t count = n - i < 32 ? n - i : 32;
    const __m512i v = _mm512_maskz_loadu_epi8(count == 32 ? 0xFFFFFFFFull : (1ull << count) - 1, in + i);
    const uint64_t high = _mm512_movepi8_mask(v);
    if (high == 0) {
      _mm512_storeu_si512(out + o, v);
      i += count;
      o += count;
      continue;
    }
    const __m512i leads = _mm512_permutex2var_epi8(leadLow, v, leadHigh);
    if ((high & ~_mm512_test_epi8_mask(leads, leads)) != 0) break;  // a three-byte character
    const __m512i conts = _mm512_permutex2var_epi8(contLow, v, contHigh);
    const __m512i pairs = _mm512_permutex2var_epi8(_mm512_mask_blend_epi8(high, v, leads), interleave, conts);
    // The first byte of every character, the second of those above 127.
    uint64_t keep = 0x5555555555555555ull | _pdep_u64(high, 0xAAAAAAAAAAAAAAAAull);
    if (count < 32) keep &= (1ull << (2 * count)) - 1;
    _mm512_storeu_si512(out + o, _mm512_maskz_compress_epi8(keep, pairs));
    o += count + size_t(_mm_popcnt_u64(high));
    i += count;
  }
  at = i;
  to = o;
}

#else

bool Utf8BlocksAvailable() { return false; }
bool UseUtf8Blocks = false;
bool DecodeUtf8Blocks(const char*, size_t, char*, size_t&, size_t&, const uint8_t*) { return false; }
void EncodeUtf8Blocks(const char*, size_t, char*, size_t&, size_t&, const uint8_t*, const uint8_t*) {}

#endif
