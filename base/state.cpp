#include "base/state.h"

EditorState Ed;

void ResetEditorState(uint16_t fillCell) {
  Ed = EditorState{};
  Ed.FillCell = fillCell;
  ComputeTabStops();
}

void ComputeTabStops() {
  int stop = Ed.IndentColumn;
  int width = Ed.TabWidth;
  for (auto& t : Ed.TabStops) {
    t = uint8_t(stop > 255 ? 255 : stop);
    stop += width;
  }
}
