// Reading a whole file piece by piece by its GBK path: the blacklist file, the
// digests of the executable and of downloads. On Windows the ANSI file calls
// take the path in the ANSI code page, so program folders with Chinese names
// work; the C library's narrow calls are never used for GBK paths.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "platform/files.h"

// Calls `consume` with each piece of at most `chunkBytes` bytes, in order.
// ok false when the file cannot be opened or a read fails (pieces already
// consumed stay consumed). The file is opened shared for reading, writing and
// deleting: the running executable, and files others hold open or replace
// while we read, can be read. An exception from `consume` passes on; the file
// is closed all the same.
FileResult ReadFileChunks(const std::string& path, std::size_t chunkBytes,
                          const std::function<void(const void*, std::size_t)>& consume);
