// The downloader's destination file. Paths are GBK text: the Windows half
// opens them with the ANSI calls (never std::filesystem or the C library,
// which would read the bytes as another code page and name another file).
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class TargetFile {
 public:
  virtual ~TargetFile() = default;
  // Appends `size` bytes; false when not all were written.
  [[nodiscard]] virtual bool Write(const char* data, std::size_t size) = 0;
  // Flushes to the disk and closes; false when either failed (the last bytes
  // may be lost).
  [[nodiscard]] virtual bool Close() = 0;
};

// True when `path` names an existing file (not a folder).
bool TargetFileExists(const std::string& path);

// Creates the missing folders of `path` (failures ignored: creating the file
// tells whether the download can go ahead), then the file itself, empty,
// replacing an existing one. Nothing when the file cannot be created.
std::unique_ptr<TargetFile> CreateTargetFile(const std::string& path);

// Opens an existing file for appending at its end; `size` gets its length.
// Nothing when it cannot be opened.
std::unique_ptr<TargetFile> OpenTargetFileAtEnd(const std::string& path, long long* size);

// The folders that lead to the file `path`, outermost first: the text before
// each separator ("C:\a\b\f" gives "C:", "C:\a", "C:\a\b"). Windows paths
// separate with "\" and "/", POSIX ones (the native tests) with "/" only. A
// GBK character whose second byte is 0x5C ("\") is part of a name, not a
// separator.
std::vector<std::string> FoldersLeadingTo(const std::string& path, bool backslashSeparates);

// Byte positions of the path separators "\" and "/" in GBK text, skipping the
// second byte of every two-byte character.
std::vector<std::size_t> SeparatorPositions(const std::string& path);
