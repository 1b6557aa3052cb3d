// Writing the text back.
#pragma once
#include <string>

// The bytes a line is written as: without its trailing blanks and NUL
// bytes, followed by LF.
void AppendLineForSave(std::string& out, int n);
// The whole text as it is written to disk.
std::string TextForSave();

// Writes `content` into `path` without ever leaving a damaged file: a new
// file beside it is written and synced, then put in the old one's place,
// keeping its permission bits; a symlink keeps pointing to the file it
// names, which is what gets written.  False (the old file untouched) on any
// failure.
bool WriteFileSafely(const std::string& path, const std::string& content);

// The save command: writes the text to Ed.FileName when it is modified.
// Clears Modified only when the whole text reached the disk.
void SaveFile();
