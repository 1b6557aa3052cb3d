// The key sequences of the terminal's description (terminfo's key
// capabilities) for the key decoder.
#pragma once

#include "screen/keydecode.h"

// Adds the key capabilities of the terminfo entry set up last (setupterm).
void AddTerminfoKeys(KeyDecoder& dec);
