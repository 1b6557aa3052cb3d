// What a command or a dialog did, for the caller that must know whether to
// go on.  The user has already been told why when it is not Done.
#pragma once

enum class Outcome {
  Done,       // it happened (or there was nothing to do)
  Refused,    // the editor refused: a limit, memory, no block, an overlap
  Cancelled,  // the user gave up at a question or a prompt
};
