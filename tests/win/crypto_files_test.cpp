// MD5_File and Crc32FileText on real files through the Win32 calls: mapped
// views, files other programs hold open, GBK names, the running executable.
#include <gtest/gtest.h>

#include <direct.h>
#include <share.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "crypto/md5.h"

// Declared here so the test needs no <windows.h>.
extern "C" __attribute__((dllimport, stdcall)) unsigned long GetModuleFileNameA(void* module, char* name,
                                                                                unsigned long size);

namespace {

constexpr const char* kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

// A scratch folder under %TEMP% (CRT calls: <filesystem> pulls in <chrono>,
// which does not compile with -fexec-charset=GBK).
class TempDir {
 public:
  TempDir() {
    const char* temp = std::getenv("TEMP");
    dir_ = std::string(temp != nullptr ? temp : ".") + "\\crypto_files_test";
    _mkdir(dir_.c_str());
  }
  ~TempDir() {
    for (const auto& file : written_) std::remove(file.c_str());
    _rmdir(dir_.c_str());
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string file = Path(name);
    std::FILE* f = std::fopen(file.c_str(), "wb");
    EXPECT_NE(f, nullptr) << file;
    if (f != nullptr) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    written_.push_back(file);
    return file;
  }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

 private:
  std::string dir_;
  std::vector<std::string> written_;
};

std::string Pattern(std::size_t n) {
  std::string out(n, '\0');
  std::uint32_t x = 1;
  for (auto& c : out) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  return out;
}

}  // namespace

TEST(MD5FileWin, DigestsRealFiles) {
  TempDir dir;
  const std::string sound = "RIFF....WAVEfmt 网吧";
  EXPECT_EQ(MD5_File(dir.Write("face.wav", sound)), MD5_Text(sound));
  EXPECT_EQ(MD5_File(dir.Write("提示音.wav", sound)), MD5_Text(sound));  // GBK name
  // Larger than one mapped view (16 MiB), ending inside the second.
  const std::string large = Pattern((16u << 20) + 4099);
  EXPECT_EQ(MD5_File(dir.Write("large.wav", large)), MD5_Text(large));
}

TEST(MD5FileWin, MissingOrEmptyFileGivesTheDigestOfNothing) {
  TempDir dir;
  EXPECT_EQ(MD5_File(dir.Path("missing.wav")), kEmptyDigest);
  EXPECT_EQ(MD5_File(dir.Write("empty.wav", "")), kEmptyDigest);
  EXPECT_EQ(MD5_File(dir.Path("")), kEmptyDigest);  // the folder itself
}

TEST(MD5FileWin, ReadsAFileAnotherProgramHoldsOpenForWriting) {
  TempDir dir;
  const std::string file = dir.Write("busy.wav", "sound bytes");
  std::FILE* writer = _fsopen(file.c_str(), "ab", _SH_DENYNO);  // shares read and write
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(MD5_File(file), MD5_Text("sound bytes"));
  std::fclose(writer);
  // Every handle and the mapping were released: the file can go now.
  EXPECT_EQ(std::remove(file.c_str()), 0);
}

TEST(Crc32FileTextWin, ChecksumsFilesAndTheRunningExecutable) {
  TempDir dir;
  EXPECT_EQ(Crc32FileText(dir.Write("Tollimer.exe", "123456789")), "CBF43926");
  EXPECT_EQ(Crc32FileText(dir.Path("missing.exe")), "");
  // The program's own file, while the loader holds it.
  char self[1024];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  const std::string text = Crc32FileText(self);
  ASSERT_EQ(text.size(), 8u) << self;
  EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos) << text;
}
