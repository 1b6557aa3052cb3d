// The list of the builds and the one that runs; each build's data is its
// own file (builds/koi8.cpp and the like).
#include <string_view>

#include "builds/build.h"
#include "builds/keymap.h"
#include "screen/keycoding.h"

namespace {

constinit const BuildConfig* const kAll[] = {&BuildKoi8, &Build866, &Build866Rkbd, &BuildKoi8Rkbd};
constinit const BuildConfig* gCurrent = &BuildKoi8Rkbd;

}  // namespace

const BuildConfig& CurrentBuild() { return *gCurrent; }

void SelectBuild(const BuildConfig& b) {
  gCurrent = &b;
  // The terminal reads keys in the build's set and through its key map.
  TermKeyCoding = {b.Set, [](const PhysKey& k) { return KeyCodeFor(CurrentBuild(), k); }};
}

std::span<const BuildConfig* const> AllBuilds() { return kAll; }

const BuildConfig* FindBuild(std::string_view name) {
  for (const BuildConfig* b : kAll)
    if (name == b->Name) return b;
  return nullptr;
}
