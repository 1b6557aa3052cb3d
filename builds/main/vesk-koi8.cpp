#include "builds/build.h"
#include "core/editor.h"

int main(int argc, char** argv) { return RunEditor(BuildKoi8, argc, argv); }
