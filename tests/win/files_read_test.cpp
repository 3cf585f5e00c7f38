// Win32Files::ReadPieces, the blacklist file's reader: whole files in order
// under a GBK folder name, a file another program holds locked, a file deleted
// while it is read.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/platform_win.h"

namespace {

// A scratch folder with a Chinese name under %TEMP%, made with the ANSI calls.
class GbkFolder {
 public:
  GbkFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "黑名单读取测试\\";
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  ~GbkFolder() {
    DeleteFileA(Path().c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  std::string Path() const { return dir_ + "黑名单.txt"; }
  void Write(const std::string& bytes) const {
    HANDLE f = CreateFileA(Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }

 private:
  std::string dir_;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}

TEST(ReadPieces, WholeFileInOrderInPiecesOfAtMost64KiB) {
  GbkFolder folder;
  Win32Files files;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{300001}}) {
    const std::string bytes = Pattern(size);
    folder.Write(bytes);
    std::string read;
    std::size_t largest = 0;
    FileResult result = files.ReadPieces(folder.Path(), [&](std::string_view piece) {
      read += piece;
      largest = std::max(largest, piece.size());
    });
    EXPECT_TRUE(result.ok) << size;
    EXPECT_EQ(read, bytes) << size;
    EXPECT_LE(largest, 65536u);
  }
}

TEST(ReadPieces, MissingAndLockedFilesFailWithTheirErrorCodes) {
  GbkFolder folder;
  Win32Files files;
  auto never = [](std::string_view) { ADD_FAILURE() << "no piece expected"; };
  FileResult missing = files.ReadPieces(folder.Path(), never);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.lastError, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));

  folder.Write("11010119900307123X\t张三\t2024-01-02\t打架斗殴\r\n");
  // Another program holds it open without sharing.
  HANDLE lock = CreateFileA(folder.Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  FileResult locked = files.ReadPieces(folder.Path(), never);
  CloseHandle(lock);
  EXPECT_FALSE(locked.ok);
  EXPECT_EQ(locked.lastError, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
}

TEST(ReadPieces, AFileDeletedWhileReadIsReadToItsEnd) {
  GbkFolder folder;
  Win32Files files;
  const std::string bytes = Pattern(200000);
  folder.Write(bytes);
  std::string read;
  bool deleted = false;
  FileResult result = files.ReadPieces(folder.Path(), [&](std::string_view piece) {
    if (!deleted) deleted = DeleteFileA(folder.Path().c_str()) != FALSE;
    read += piece;
  });
  EXPECT_TRUE(deleted);  // the reader shares deletion: the cashier can replace the file
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(read, bytes);
}

}  // namespace
