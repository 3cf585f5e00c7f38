// The operator's backup of a store that keeps being written: the copy must be
// whole (integrity check) and hold everything committed before it began.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "central/store/store.h"
#include "fakes/temp_dir.h"

namespace {

std::unique_ptr<CentralStore> OpenStore(const std::string& path) {
  std::string error;
  auto store = CentralStore::Open(path, error);
  EXPECT_TRUE(store) << error;
  return store;
}

HitReport Hit(int n) {
  return {"11010119900307" + std::to_string(1000 + n), "00E04C6A1B2C", "3301", "bar 3301"};
}

TEST(CentralStoreBackup, ACopyTakenWhileAnotherConnectionWritesIsWholeAndHoldsEveryEarlierCommit) {
  TempDir dir("central_store_backup");
  auto service = OpenStore(dir.Path("central.db"));  // the running service's connection
  auto operatorSide = OpenStore(dir.Path("central.db"));  // the backup command's own
  ASSERT_TRUE(service && operatorSide);
  constexpr int kBefore = 2000;
  for (int i = 0; i < kBefore; ++i) ASSERT_TRUE(service->RecordHit(Hit(i), "10.0.0.5", 1000 + i));

  std::atomic<bool> stop{false};
  std::atomic<int> writtenDuring{0};
  std::thread writer([&] {
    for (int i = kBefore; !stop; ++i) {
      if (service->RecordHit(Hit(i), "10.0.0.5", 1000 + i)) ++writtenDuring;
    }
  });
  // Let the writer get going, so the copy really overlaps the writes.
  while (writtenDuring < 50) usleep(1000);
  std::string error;
  const std::string copyPath = dir.Path("copy.db");
  const bool copied = operatorSide->BackupTo(copyPath, error);
  stop = true;
  writer.join();
  ASSERT_TRUE(copied) << error;

  auto copy = OpenStore(copyPath);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->IntegrityOk());
  const auto hits = copy->Hits(0);
  EXPECT_GE(hits.size(), static_cast<std::size_t>(kBefore + 50));
  EXPECT_LE(hits.size(), static_cast<std::size_t>(kBefore + writtenDuring));
  EXPECT_EQ(access((copyPath + ".tmp").c_str(), F_OK), -1);
}

TEST(CentralStoreBackup, AFolderThatCannotBeWrittenFailsAndLeavesNoFile) {
  TempDir dir("central_store_backup_fails");
  auto store = OpenStore(dir.Path("central.db"));
  ASSERT_TRUE(store);
  std::string error;
  EXPECT_FALSE(store->BackupTo(dir.Path("missing/copy.db"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(access(dir.Path("missing/copy.db").c_str(), F_OK), -1);
}

}  // namespace
