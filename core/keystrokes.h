// The Keystrokes screen: the build's options, the saved lines of the undo
// ring, then the raw code of every key pressed until the key that ends it.
// Space as the first key restores one of the listed lines instead.
#pragma once

void KeystrokesScreen();
