// Every saved input of every fuzz target, fed once more to the same entry
// function: the crashes found and fixed stay fixed, and the corpus that covers
// the readers keeps running in the ordinary test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_targets.h"

namespace {

class CorpusReplay : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(CorpusReplay, EverySavedInputRunsCleanly) {
  const std::filesystem::path folder = std::filesystem::path(TOLLIMER_FUZZ_CORPUS) / GetParam().name;
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int inputs = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (!file.is_regular_file()) continue;
    std::ifstream in(file.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(file.path().string());
    EXPECT_EQ(GetParam().entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no saved inputs in " << folder;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, ::testing::ValuesIn(kFuzzTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
