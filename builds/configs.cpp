// The list of the builds and the one that runs; each build's data is its
// own file (builds/koi8.cpp and the like).
#include <string_view>

#include "builds/build.h"

namespace {

constinit const BuildConfig* const kAll[] = {&BuildKoi8, &Build866, &Build866Rkbd, &BuildKoi8Rkbd};
constinit const BuildConfig* gCurrent = &BuildKoi8Rkbd;

}  // namespace

const BuildConfig& CurrentBuild() { return *gCurrent; }

void SelectBuild(const BuildConfig& b) { gCurrent = &b; }

std::span<const BuildConfig* const> AllBuilds() { return kAll; }

const BuildConfig* FindBuild(std::string_view name) {
  for (const BuildConfig* b : kAll)
    if (name == b->Name) return b;
  return nullptr;
}
