#include "text/marks.h"

#include "base/state.h"
#include "text/messages.h"

void RemoveAllMarks() {
  const bool hadLineBlock = Ed.BlockFirst > 0;
  Ed.BlockFirst = Ed.BlockLast = 0;
  Ed.RectFirst = Ed.RectLast = 0;
  Ed.RectFirstCol = Ed.RectLastCol = 0;
  if (hadLineBlock) ClearMessageLine();
}

void UnmarkBlock() {
  if (Ed.BlockFirst > 0) {
    Ed.BlockFirst = Ed.BlockLast = 0;
  } else {
    Ed.RectFirst = Ed.RectLast = 0;
    Ed.RectFirstCol = Ed.RectLastCol = 0;
  }
  ClearMessageLine();
}
