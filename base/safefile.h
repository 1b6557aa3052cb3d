// The editor's own small files (state file, saved strings, clipboard) often
// live under /tmp, which every user shares.  These helpers never follow a
// symbolic link, never write into a file that belongs to someone else, and
// create new files readable by their owner only.
#pragma once
#include <optional>
#include <string>

// An open descriptor of a regular file (not a device, directory or fifo),
// for reading; -1 when there is none.
int OpenRegularForReading(const std::string& path);

// The whole content of a regular file of this user reached without a
// symlink, or nothing.
std::optional<std::string> ReadSharedFile(const std::string& path, size_t limit = 1 << 20);
// Replaces the content; false when the file is a symlink, not a regular
// file, owned by another user, or cannot be written.
bool WriteSharedFile(const std::string& path, const std::string& content);
