#include "builds/bindings.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr const char* kNames[] = {
#define VESK_COMMAND(id, name, ...) name,
#include "builds/commands.def"
#undef VESK_COMMAND
};

}  // namespace

const char* CommandName(Cmd c) {
  size_t i = size_t(c);
  return i < std::size(kNames) ? kNames[i] : "?";
}

const Binding* FindBinding(const BuildConfig& b, uint32_t code) {
  auto it = std::lower_bound(b.Bindings.begin(), b.Bindings.end(), code,
                             [](const Binding& x, uint32_t c) { return x.Code < c; });
  if (it == b.Bindings.end() || it->Code != code) return nullptr;
  return &*it;
}

uint32_t CodeOf(const BuildConfig& b, Cmd c, int slot) {
  for (const Binding& x : b.Bindings)
    if (x.Command == c && x.Slot == slot) return x.Code;
  return 0;
}
