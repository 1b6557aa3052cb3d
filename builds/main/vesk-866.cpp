#include "builds/build.h"
#include "core/editor.h"

int main(int argc, char** argv) { return RunEditor(Build866, argc, argv); }
