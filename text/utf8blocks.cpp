#include "text/utf8blocks.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define VESK_UTF8_BLOCKS 1
#include <immintrin.h>

#include <array>
#endif

#ifdef VESK_UTF8_BLOCKS

namespace {

bool Has(Utf8Blocks way) {
  __builtin_cpu_init();
  switch (way) {
    case Utf8Blocks::Off:
      return true;
    case Utf8Blocks::Ssse3:
      return __builtin_cpu_supports("ssse3");
    case Utf8Blocks::Avx2:
      return __builtin_cpu_supports("avx2");
    case Utf8Blocks::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
             __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
  }
  return false;
}

}  // namespace

bool Utf8BlocksAvailable(Utf8Blocks way) {
  static const std::array<bool, 4> has = {Has(Utf8Blocks::Off), Has(Utf8Blocks::Ssse3), Has(Utf8Blocks::Avx2),
                                          Has(Utf8Blocks::Avx512)};
  return has[size_t(way)];
}

Utf8Blocks BestUtf8Blocks() {
  for (Utf8Blocks way : {Utf8Blocks::Avx512, Utf8Blocks::Avx2, Utf8Blocks::Ssse3})
    if (Utf8BlocksAvailable(way)) return way;
  return Utf8Blocks::Off;
}

Utf8Blocks UseUtf8Blocks = BestUtf8Blocks();

namespace {

// Byte 2k of the pairs is the first byte of character k, byte 2k + 1 its
// second (64 + k: from the second table).
constexpr auto MakeInterleave() {
  std::array<char, 64> order{};
  for (int k = 0; k < 64; ++k) order[size_t(k)] = char(k % 2 == 0 ? k / 2 : 64 + k / 2);
  return order;
}
alignas(64) constexpr std::array<char, 64> kInterleave = MakeInterleave();

// For squeezing eight bytes by a mask of those kept: the places of the
// mask's bits, from the lowest, as a shuffle (0x80, which gives 0, after
// them); in the second row for the eight bytes after those (8 added).
constexpr auto MakeSqueeze() {
  std::array<std::array<uint64_t, 256>, 2> squeeze{};
  for (unsigned m = 0; m < 256; ++m) {
    uint64_t s = 0x8080808080808080ull;
    int k = 0;
    for (unsigned b = 0; b < 8; ++b) {
      if ((m >> b & 1) == 0) continue;
      s &= ~(0xFFull << (8 * k));
      s |= uint64_t(b) << (8 * k);
      ++k;
    }
    squeeze[0][m] = s;
    squeeze[1][m] = s + 0x0808080808080808ull;
  }
  return squeeze;
}
alignas(64) constexpr std::array<std::array<uint64_t, 256>, 2> kSqueeze = MakeSqueeze();

}  // namespace

#define VESK_BLOCKS_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

namespace {

VESK_BLOCKS_TARGET
bool DecodeAvx512(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* fromCyrillic) {
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
void EncodeAvx512(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* lead,
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

#define VESK_SSSE3_TARGET __attribute__((target("ssse3")))
#define VESK_AVX2_TARGET __attribute__((target("avx2")))

// The number of bits set in a byte.
constexpr auto MakeCounts() {
  std::array<uint8_t, 256> counts{};
  for (unsigned m = 0; m < 256; ++m) counts[m] = uint8_t(__builtin_popcount(m));
  return counts;
}
constexpr std::array<uint8_t, 256> kCounts = MakeCounts();

// A 128-byte table looked up 16 bytes at a time, for 16 or 32 places each
// 0..127: tables[k] holds bytes 16k..16k+15 of the table, each made the
// exclusive or with the byte 16 places before it; a look-up with
// index - 16k gives 0 below 16k (the index wraps past 127, which the
// shuffle takes for 0), so that the exclusive or of all eight leaves the
// table's byte.
VESK_SSSE3_TARGET
inline void MakeLookup(__m128i* tables, const uint8_t* table, int count = 8) {
  __m128i before = _mm_setzero_si128();
  for (int k = 0; k < count; ++k) {
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * k));
    tables[k] = _mm_xor_si128(t, before);
    before = t;
  }
}

VESK_SSSE3_TARGET
inline __m128i Lookup128(const __m128i* tables, __m128i index) {
  const __m128i sixteen = _mm_set1_epi8(16);
  const __m128i i1 = _mm_sub_epi8(index, sixteen), i2 = _mm_sub_epi8(i1, sixteen);
  const __m128i i3 = _mm_sub_epi8(i2, sixteen), i4 = _mm_sub_epi8(index, _mm_set1_epi8(64));
  const __m128i i5 = _mm_sub_epi8(i4, sixteen), i6 = _mm_sub_epi8(i5, sixteen), i7 = _mm_sub_epi8(i6, sixteen);
  const __m128i low = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(tables[0], index), _mm_shuffle_epi8(tables[1], i1)),
                                    _mm_xor_si128(_mm_shuffle_epi8(tables[2], i2), _mm_shuffle_epi8(tables[3], i3)));
  const __m128i high = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(tables[4], i4), _mm_shuffle_epi8(tables[5], i5)),
                                     _mm_xor_si128(_mm_shuffle_epi8(tables[6], i6), _mm_shuffle_epi8(tables[7], i7)));
  return _mm_xor_si128(low, high);
}

VESK_AVX2_TARGET
inline __m256i Lookup128(const __m256i* tables, __m256i index) {
  const __m256i sixteen = _mm256_set1_epi8(16);
  const __m256i i1 = _mm256_sub_epi8(index, sixteen), i2 = _mm256_sub_epi8(i1, sixteen);
  const __m256i i3 = _mm256_sub_epi8(i2, sixteen), i4 = _mm256_sub_epi8(index, _mm256_set1_epi8(64));
  const __m256i i5 = _mm256_sub_epi8(i4, sixteen), i6 = _mm256_sub_epi8(i5, sixteen);
  const __m256i i7 = _mm256_sub_epi8(i6, sixteen);
  const __m256i low =
      _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(tables[0], index), _mm256_shuffle_epi8(tables[1], i1)),
                       _mm256_xor_si256(_mm256_shuffle_epi8(tables[2], i2), _mm256_shuffle_epi8(tables[3], i3)));
  const __m256i high =
      _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(tables[4], i4), _mm256_shuffle_epi8(tables[5], i5)),
                       _mm256_xor_si256(_mm256_shuffle_epi8(tables[6], i6), _mm256_shuffle_epi8(tables[7], i7)));
  return _mm256_xor_si256(low, high);
}

// The same for places 16..79 alone (U+0410..U+044F, А to я: nearly every
// letter of a Russian text), from tables 1..4 of the 128-byte table made as
// above but with table 1 taken as it is; below16 is the index less 16.  A
// place outside gives a wrong byte: OutsideOf tells them, by bit 6 of
// below16 (64..111 above, 240..255 below).
VESK_SSSE3_TARGET
inline __m128i Lookup64(const __m128i* near, __m128i below16) {
  const __m128i sixteen = _mm_set1_epi8(16);
  const __m128i i2 = _mm_sub_epi8(below16, sixteen), i3 = _mm_sub_epi8(below16, _mm_set1_epi8(32));
  const __m128i i4 = _mm_sub_epi8(below16, _mm_set1_epi8(48));
  return _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(near[0], below16), _mm_shuffle_epi8(near[1], i2)),
                       _mm_xor_si128(_mm_shuffle_epi8(near[2], i3), _mm_shuffle_epi8(near[3], i4)));
}

VESK_SSSE3_TARGET
inline uint32_t OutsideOf(__m128i below16) { return uint32_t(_mm_movemask_epi8(_mm_slli_epi16(below16, 1))); }

VESK_AVX2_TARGET
inline __m256i Lookup64(const __m256i* near, __m256i below16) {
  const __m256i sixteen = _mm256_set1_epi8(16);
  const __m256i i2 = _mm256_sub_epi8(below16, sixteen), i3 = _mm256_sub_epi8(below16, _mm256_set1_epi8(32));
  const __m256i i4 = _mm256_sub_epi8(below16, _mm256_set1_epi8(48));
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_shuffle_epi8(near[0], below16), _mm256_shuffle_epi8(near[1], i2)),
      _mm256_xor_si256(_mm256_shuffle_epi8(near[2], i3), _mm256_shuffle_epi8(near[3], i4)));
}

VESK_AVX2_TARGET
inline uint32_t OutsideOf(__m256i below16) {
  return uint32_t(_mm256_movemask_epi8(_mm256_slli_epi16(below16, 1)));
}

// Writes the bytes of x that keep (16 bits) marks at out + o, o advancing;
// 16 bytes are written.
VESK_SSSE3_TARGET
inline void Squeeze16(__m128i x, uint32_t keep, char* out, size_t& o) {
  const uint32_t low = keep & 0xFF, high = keep >> 8 & 0xFF;
  // The halves loaded and the upper one stored with moves of eight bytes,
  // which need no shuffle of their own.
  const __m128i order = _mm_castps_si128(
      _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kSqueeze[0][low]))),
                   reinterpret_cast<const __m64*>(&kSqueeze[1][high])));
  const __m128i s = _mm_shuffle_epi8(x, order);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), s);
  o += kCounts[low];
  _mm_storeh_pi(reinterpret_cast<__m64*>(out + o), _mm_castsi128_ps(s));
  o += kCounts[high];
}

// 16 bytes a step, as the 32-byte blocks below.
VESK_SSSE3_TARGET
bool DecodeSsse3(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* fromCyrillic) {
  size_t i = at, o = to;
  __m128i tables[8], near[4];
  MakeLookup(tables, fromCyrillic);
  MakeLookup(near, fromCyrillic + 16, 4);
  const __m128i topTwo = _mm_set1_epi8(char(0xC0)), continuation = _mm_set1_epi8(char(0x80));
  const __m128i leadBits = _mm_set1_epi8(char(0xFE)), cyrillicLead = _mm_set1_epi8(char(0xD0));
  const __m128i one = _mm_set1_epi8(1), lowSix = _mm_set1_epi8(0x3F);
  bool converted = false;
  uint32_t carry = 0;
  while (i + 17 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const uint32_t high = uint32_t(_mm_movemask_epi8(v));
    if (high == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
      i += 16;
      o += 16;
      continue;
    }
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
    const __m128i isLead = _mm_cmpeq_epi8(_mm_and_si128(v, leadBits), cyrillicLead);
    const uint32_t conts = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, topTwo), continuation)));
    const uint32_t leads = uint32_t(_mm_movemask_epi8(isLead));
    const uint32_t nextConts =
        uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(next, topTwo), continuation)));
    const __m128i index = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, one), 6), _mm_and_si128(next, lowSix));
    const __m128i below16 = _mm_sub_epi8(index, _mm_set1_epi8(16));
    const __m128i bytes =
        (leads & OutsideOf(below16)) == 0 ? Lookup64(near, below16) : Lookup128(tables, index);
    const uint32_t lacked = leads & uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
    // One test for all: every byte above 127 a lead byte followed by one
    // continuation byte, and every letter one the set has.
    if (((leads | conts) ^ high) | ((conts ^ ((leads << 1) | carry)) & 0xFFFF) | (leads & ~nextConts) | lacked) break;
    const __m128i chars = _mm_or_si128(_mm_and_si128(isLead, bytes), _mm_andnot_si128(isLead, v));
    Squeeze16(chars, ~conts & 0xFFFF, out, o);
    carry = leads >> 15;
    i += 16;
    converted = true;
  }
  at = i + carry;
  to = o;
  return converted;
}

// 32 bytes a step, as the 64-byte blocks but with the look-up and the
// squeezing made of 16-byte shuffles.
VESK_AVX2_TARGET
bool DecodeAvx2(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* fromCyrillic) {
  size_t i = at, o = to;
  __m128i lanes[8], nearLanes[4];
  MakeLookup(lanes, fromCyrillic);
  MakeLookup(nearLanes, fromCyrillic + 16, 4);
  __m256i tables[8], near[4];
  for (int k = 0; k < 8; ++k) tables[k] = _mm256_broadcastsi128_si256(lanes[k]);
  for (int k = 0; k < 4; ++k) near[k] = _mm256_broadcastsi128_si256(nearLanes[k]);
  const __m256i topTwo = _mm256_set1_epi8(char(0xC0)), continuation = _mm256_set1_epi8(char(0x80));
  const __m256i leadBits = _mm256_set1_epi8(char(0xFE)), cyrillicLead = _mm256_set1_epi8(char(0xD0));
  const __m256i one = _mm256_set1_epi8(1), lowSix = _mm256_set1_epi8(0x3F);
  bool converted = false;
  uint32_t carry = 0;
  while (i + 33 <= n) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const uint32_t high = uint32_t(_mm256_movemask_epi8(v));
    if (high == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o), v);
      i += 32;
      o += 32;
      continue;
    }
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 1));
    const __m256i isLead = _mm256_cmpeq_epi8(_mm256_and_si256(v, leadBits), cyrillicLead);
    const uint32_t conts =
        uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(v, topTwo), continuation)));
    const uint32_t leads = uint32_t(_mm256_movemask_epi8(isLead));
    const uint32_t nextConts =
        uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(next, topTwo), continuation)));
    // (The shift moves no bit across a byte.)
    const __m256i index =
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(v, one), 6), _mm256_and_si256(next, lowSix));
    const __m256i below16 = _mm256_sub_epi8(index, _mm256_set1_epi8(16));
    const __m256i bytes =
        (leads & OutsideOf(below16)) == 0 ? Lookup64(near, below16) : Lookup128(tables, index);
    const uint32_t lacked =
        leads & uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256())));
    if (((leads | conts) ^ high) | (conts ^ ((leads << 1) | carry)) | (leads & ~nextConts) | lacked) break;
    const __m256i chars = _mm256_blendv_epi8(v, bytes, isLead);
    // Each write ends at most where the bytes read end.
    Squeeze16(_mm256_castsi256_si128(chars), ~conts & 0xFFFF, out, o);
    Squeeze16(_mm256_extracti128_si256(chars, 1), ~conts >> 16, out, o);
    carry = leads >> 31;
    i += 32;
    converted = true;
  }
  at = i + carry;
  to = o;
  return converted;
}

// 16 bytes a step: both bytes of every byte above 127 from one look-up (the
// lead bytes in the low lane, the continuation bytes in the high), paired
// with the bytes and squeezed where a byte is ASCII.  Stops when fewer than
// 16 are left.
VESK_AVX2_TARGET
void EncodeAvx2(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* lead,
                const uint8_t* cont) {
  size_t i = at, o = to;
  __m128i leadLanes[8], contLanes[8];
  MakeLookup(leadLanes, lead);
  MakeLookup(contLanes, cont);
  __m256i tables[8];
  for (int k = 0; k < 8; ++k) tables[k] = _mm256_set_m128i(contLanes[k], leadLanes[k]);
  const __m128i lowSeven = _mm_set1_epi8(0x7F), all = _mm_set1_epi8(char(0xFF));
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const uint32_t high = uint32_t(_mm_movemask_epi8(v));
    if (high == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
      i += 16;
      o += 16;
      continue;
    }
    const __m256i both = Lookup128(tables, _mm256_broadcastsi128_si256(_mm_and_si128(v, lowSeven)));
    const __m128i leads = _mm256_castsi256_si128(both), conts = _mm256_extracti128_si256(both, 1);
    const uint32_t zero = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(leads, _mm_setzero_si128())));
    if ((high & zero) != 0) break;  // a three-byte character
    const __m128i first = _mm_blendv_epi8(v, leads, v);
    // The first byte of every character, the second of those above 127.
    Squeeze16(_mm_unpacklo_epi8(first, conts), uint32_t(_mm_movemask_epi8(_mm_unpacklo_epi8(all, v))), out, o);
    Squeeze16(_mm_unpackhi_epi8(first, conts), uint32_t(_mm_movemask_epi8(_mm_unpackhi_epi8(all, v))), out, o);
    i += 16;
  }
  at = i;
  to = o;
}

// The same with the two bytes from two look-ups.
VESK_SSSE3_TARGET
void EncodeSsse3(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* lead,
                 const uint8_t* cont) {
  size_t i = at, o = to;
  __m128i leadTables[8], contTables[8];
  MakeLookup(leadTables, lead);
  MakeLookup(contTables, cont);
  const __m128i lowSeven = _mm_set1_epi8(0x7F), all = _mm_set1_epi8(char(0xFF));
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const uint32_t high = uint32_t(_mm_movemask_epi8(v));
    if (high == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
      i += 16;
      o += 16;
      continue;
    }
    const __m128i index = _mm_and_si128(v, lowSeven);
    const __m128i leads = Lookup128(leadTables, index);
    const uint32_t zero = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(leads, _mm_setzero_si128())));
    if ((high & zero) != 0) break;  // a three-byte character
    const __m128i conts = Lookup128(contTables, index);
    const __m128i isHigh = _mm_cmplt_epi8(v, _mm_setzero_si128());
    const __m128i first = _mm_or_si128(_mm_and_si128(isHigh, leads), _mm_andnot_si128(isHigh, v));
    Squeeze16(_mm_unpacklo_epi8(first, conts), uint32_t(_mm_movemask_epi8(_mm_unpacklo_epi8(all, v))), out, o);
    Squeeze16(_mm_unpackhi_epi8(first, conts), uint32_t(_mm_movemask_epi8(_mm_unpackhi_epi8(all, v))), out, o);
    i += 16;
  }
  at = i;
  to = o;
}

}  // namespace

bool DecodeUtf8Blocks(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* fromCyrillic) {
  switch (UseUtf8Blocks) {
    case Utf8Blocks::Off:
      return false;
    case Utf8Blocks::Ssse3:
      return DecodeSsse3(in, n, out, at, to, fromCyrillic);
    case Utf8Blocks::Avx2:
      return DecodeAvx2(in, n, out, at, to, fromCyrillic);
    case Utf8Blocks::Avx512:
      return DecodeAvx512(in, n, out, at, to, fromCyrillic);
  }
  return false;
}

void EncodeUtf8Blocks(const char* in, size_t n, char* out, size_t& at, size_t& to, const uint8_t* lead,
                      const uint8_t* cont) {
  if (UseUtf8Blocks == Utf8Blocks::Avx512) EncodeAvx512(in, n, out, at, to, lead, cont);
  else if (UseUtf8Blocks == Utf8Blocks::Avx2) EncodeAvx2(in, n, out, at, to, lead, cont);
  else if (UseUtf8Blocks == Utf8Blocks::Ssse3) EncodeSsse3(in, n, out, at, to, lead, cont);
}

#else

bool Utf8BlocksAvailable(Utf8Blocks way) { return way == Utf8Blocks::Off; }
Utf8Blocks BestUtf8Blocks() { return Utf8Blocks::Off; }
Utf8Blocks UseUtf8Blocks = Utf8Blocks::Off;
bool DecodeUtf8Blocks(const char*, size_t, char*, size_t&, size_t&, const uint8_t*) { return false; }
void EncodeUtf8Blocks(const char*, size_t, char*, size_t&, size_t&, const uint8_t*, const uint8_t*) {}

#endif

const char* Utf8BlocksName(Utf8Blocks way) {
  switch (way) {
    case Utf8Blocks::Off:
      return "byte by byte";
    case Utf8Blocks::Ssse3:
      return "SSSE3, 16 bytes a step";
    case Utf8Blocks::Avx2:
      return "AVX2, 32 bytes a step";
    case Utf8Blocks::Avx512:
      return "AVX-512 VBMI2, 64 bytes a step";
  }
  return "";
}
