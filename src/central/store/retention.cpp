#include "central/store/retention.h"


#include "central/base/central_log.h"
#include "central/base/clock.h"
#include "util/text.h"

namespace {

constexpr int kBatch = 500;
constexpr int kPauseMs = 50;
constexpr int kDayMs = 24 * 3600 * 1000;

}  // namespace

std::int64_t PruneOldEvents(CentralStore& store, std::int64_t before, int batch,
                            const std::function<bool()>& pause) {
  std::int64_t removed = 0;
  for (;;) {
    const std::int64_t step = store.PruneEventsBatch(before, batch);
    if (step < 0) return -1;
    removed += step;
    if (step == 0 || !pause()) return removed;
  }
}

EventRetention::EventRetention(CentralStore& store, int days) : store_(store), days_(days) {}

EventRetention::~EventRetention() { Stop(); }

void EventRetention::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
}

void EventRetention::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool EventRetention::Wait(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void EventRetention::Run() {
  do {
    const std::int64_t before = NowSeconds() - static_cast<std::int64_t>(days_) * 24 * 3600;
    const std::int64_t removed = PruneOldEvents(store_, before, kBatch, [this] { return Wait(kPauseMs); });
    if (removed < 0) {
      CentralLog("retention: the store refused to remove old hits and notices; tried again tomorrow");
    } else if (removed > 0) {
      CentralLog(Format("retention: removed %lld hits and notices older than %d days",
                        static_cast<long long>(removed), days_));
    }
  } while (Wait(kDayMs));
}
