#pragma once

// Files the user names (firmware, logo) are read only when they are regular
// files, and never in a way that can block: opening a FIFO for reading waits
// for a writer, and a device file may wait or act on the open itself.

#include <cstdio>
#include <string>

// True when `path` names a regular file (symbolic links followed). Looks at
// the file system only; never opens the file.
bool is_regular_file(const std::string& path);

// Opens `path` for binary reading when it is a regular file; null (errno
// set, EINVAL for anything but a regular file) otherwise. Never blocks.
std::FILE* open_regular_file(const std::string& path);
