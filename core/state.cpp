#include "core/state.h"

#include "builds/build.h"

EditorState Ed;

Cell DefaultFillCell() { return MakeCell(CurrentBuild().FillChar, 0x07); }

Cell MessageRowFill() {
  return MakeCell(CellChar(Ed.FillCell), uint8_t(CellAttr(Ed.FillCell) | (Ed.LineLimitOff ? 0x08 : 0)));
}

void ResetEditorState() {
  Ed = EditorState{};
  Ed.FillCell = DefaultFillCell();
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
