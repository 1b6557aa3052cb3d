#include "base/state.h"

#include <algorithm>

EditorState Ed;

void ResetEditorState(uint16_t fillCell) {
  Ed = EditorState{};
  Ed.FillCell = fillCell;
  ComputeTabStops();
}

void PushPosition() {
  Ed.HistoryIndex = uint8_t((Ed.HistoryIndex + 1) % 16);
  Ed.PositionHistory[Ed.HistoryIndex] = {Ed.CurLine, Ed.WindowTop, uint8_t(std::clamp(Ed.CurCol, 0, 255))};
}

void ComputeTabStops() {
  int stop = Ed.IndentColumn;
  int width = Ed.TabWidth;
  for (auto& t : Ed.TabStops) {
    t = uint8_t(stop > 255 ? 255 : stop);
    stop += width;
  }
}
