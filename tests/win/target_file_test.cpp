// The downloader's destination on real Windows files: a program folder with a
// Chinese name, and its missing sub-folders, are created under their GBK names
// and nowhere else.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/target_file.h"

namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

std::string ReadAll(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[256];
  DWORD n = 0;
  ReadFile(file, buffer, sizeof buffer, &n, nullptr);
  CloseHandle(file);
  return std::string(buffer, n);
}

TEST(TargetFileWin, CreatesChineseFoldersUnderTheirOwnNames) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string root = std::string(temp) + "target_file_test";
  CreateDirectoryA(root.c_str(), nullptr);
  // "乗" ends in the byte of "\": it must not split its folder name.
  const std::string folder = root + "\\网吧Tollimer";
  const std::string path = folder + "\\乗升级\\Tollimer.exe.NEW";

  auto file = CreateTargetFile(path);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Write("new", 3));
  ASSERT_TRUE(file->Close());
  file.reset();

  EXPECT_EQ(ReadAll(path), "new");
  EXPECT_EQ(Names(root), std::vector<std::string>{"网吧Tollimer"});
  EXPECT_EQ(Names(folder), std::vector<std::string>{"乗升级"});

  long long size = 0;
  auto again = OpenTargetFileAtEnd(path, &size);
  ASSERT_TRUE(again);
  EXPECT_EQ(size, 3);
  ASSERT_TRUE(again->Write("er", 2));
  ASSERT_TRUE(again->Close());
  EXPECT_EQ(ReadAll(path), "newer");
  EXPECT_TRUE(TargetFileExists(path));
  EXPECT_FALSE(TargetFileExists(folder));

  DeleteFileA(path.c_str());
  RemoveDirectoryA((folder + "\\乗升级").c_str());
  RemoveDirectoryA(folder.c_str());
  RemoveDirectoryA(root.c_str());
}

}  // namespace
