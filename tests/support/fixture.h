// A fresh editor state on a headless terminal, for tests that call the
// editor's procedures directly.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>

#include "builds/build.h"
#include "core/editor.h"
#include "screen/cells.h"
#include "screen/headless.h"
#include "screen/keys.h"
#include "text/linestore.h"

class EditorTest : public ::testing::Test {
 protected:
  explicit EditorTest(const BuildConfig& b = BuildKoi8Rkbd, int width = 80, int height = 25)
      : Build(b), Terminal(b.Set) {
    SelectBuild(b);
    ResetAllState();
    ResetScreen(width, height);
    Term = &Terminal;
    ClosingSignal = 0;
  }
  ~EditorTest() override {
    Term = nullptr;
    ClosingSignal = 0;
    ResetLineStore();
  }
  // Keys pressed one after another.
  void Keys(std::initializer_list<uint32_t> codes) {
    for (uint32_t c : codes) Terminal.Script.push_back({c, {}});
  }
  // Keys arriving together, as the bytes of one terminal read do.
  void Burst(std::initializer_list<uint32_t> codes) {
    for (uint32_t c : codes) Kbd.Queue.push_back(c);
  }
  // A text of n lines "line 1", "line 2", ... in a started line store.
  void MakeText(int n) {
    ASSERT_TRUE(InitLineStore());
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(AppendLine("line " + std::to_string(i), Txt.LineWidth));
  }
  const BuildConfig& Build;
  HeadlessTerminal Terminal;
};
