#include "edit/linematch.h"

#include <cstring>

#include "text/codepage.h"
#include "text/linestore.h"

namespace {
constexpr std::array<uint8_t, 256> Identity = [] {
  std::array<uint8_t, 256> m{};
  for (size_t b = 0; b < 256; ++b) m[b] = uint8_t(b);
  return m;
}();
}  // namespace

LineMatcher::LineMatcher(std::string_view pattern, bool fold)
    : Pat(pattern), Up(fold ? UpCaseTable() : Identity.data()) {
  if (Pat.empty()) return;
  const uint8_t p0 = uint8_t(Pat[0]);
  IntoBlanks = Up[' '] == uint8_t(Pat.back());
  if (!fold) {
    First[0] = p0;
    Firsts = 1;
    return;
  }
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    if (Up[b] != p0) continue;
    if (count < 2) First[size_t(count)] = uint8_t(b);
    ++count;
  }
  Firsts = count <= 2 ? count : 0;
}

int LineMatcher::InBytes(const uint8_t* s, size_t len) const {
  const size_t m = Pat.size();
  if (m == 0 || m > len) return 0;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(Pat.data());
  const size_t last = len - m;  // the last start a match can have
  auto rest = [&](size_t i) {
    for (size_t k = 1; k < m; ++k)
      if (Up[s[i + k]] != p[k]) return false;
    return true;
  };
  if (Firsts == 0) {
    for (size_t i = 0; i <= last; ++i)
      if (Up[s[i]] == p[0] && rest(i)) return int(i) + 1;
    return 0;
  }
  // Candidates from memchr: the nearest start byte of either kind.
  size_t from = 0;
  while (from <= last) {
    const size_t span = last + 1 - from;
    const void* a = std::memchr(s + from, First[0], span);
    const void* b = Firsts == 2 ? std::memchr(s + from, First[1], span) : nullptr;
    const uint8_t* c = static_cast<const uint8_t*>(a);
    if (c == nullptr || (b != nullptr && static_cast<const uint8_t*>(b) < c)) c = static_cast<const uint8_t*>(b);
    if (c == nullptr) return 0;
    const size_t i = size_t(c - s);
    if (rest(i)) return int(i) + 1;
    from = i + 1;
  }
  return 0;
}

int LineMatcher::In(int n) const {
  // A match that ends in a byte no blank compares equal to lies within the
  // bytes the line keeps; otherwise the whole stored line is searched.
  const std::string_view s = IntoBlanks ? LineBytes(n) : LineText(n);
  return InBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}
