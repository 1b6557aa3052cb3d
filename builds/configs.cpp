#include <array>
#include <string_view>

#include "builds/bindings_table.h"
#include "builds/build.h"
#include "builds/keymap.h"
#include "builds/keymap_table.h"
#include "screen/keycoding.h"

// FillChar: the shade character the idle message line is drawn with.
// Questions: the key that answers 1 (the build's first help code, F1), the
// two keys that abandon a question, and the vertical line between answers.
// Then the prompt line's build-dependent keys: line marks 1-3, position
// marks 1-2, lengthen, shorten, key code, write history, Russian layout.
constinit const BuildConfig BuildKoi8{
    "vesk-koi8", true, false, Charset::Koi8, 0x91, keytab::kKeyMapKoi8, bindtab::kBindingsKoi8,
    0x10002F96, {0x00001011, 0x00001FD3}, 0x81,
    {{0x1091, 0x1392, 0x25CB}, {0x22A7, 0x21A6}, 0x0C9F, 0x1B9D, 0x1494, 0x1599, 0x1EC1}};
constinit const BuildConfig Build866{
    "vesk-866", false, false, Charset::Cp866, 0xB0, keytab::kKeyMap866, bindtab::kBindings866,
    0x00011AFB, {0x00001011, 0x00001BFD}, 0xB3,
    {{0x10B1, 0x13B2, 0x1789}, {0x11B7, 0x2DB8}, 0x2FF6, 0x16F5, 0x29FE, 0x1091, 0x2980}};
constinit const BuildConfig Build866Rkbd{
    "vesk-866-rkbd", false, true, Charset::Cp866, 0xB0, keytab::kKeyMap866Rkbd, bindtab::kBindings866Rkbd,
    0x00001AFB, {0x08001011, 0x000029A0}, 0xB3,
    {{0x10B1, 0x13B2, 0x25CB}, {0x11B7, 0x2DB8}, 0x2FF6, 0x16F5, 0x29FE, 0x32CD, 0}};
constinit const BuildConfig BuildKoi8Rkbd{
    "vesk-koi8-rkbd", true, true, Charset::Koi8, 0x91, keytab::kKeyMapKoi8Rkbd, bindtab::kBindingsKoi8Rkbd,
    0x00002F96, {0x08001011, 0x000029A0}, 0x81,
    {{0x1091, 0x1392, 0x2DB8}, {0x22A7, 0x21A6}, 0x0C9F, 0x1B9D, 0x1494, 0x1599, 0}};

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
