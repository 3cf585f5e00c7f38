// Figures of the robots' delivery through the real service and a fake robot
// on loopback that refuses messages faster than its pace: the delay from a
// hit's report to the robot, and a burst of 200 hits from 50 bars drained
// at the robot's pace without loss; then what a hit's message costs to queue
// on an empty and on a full queue, and the retention's removal of old ones.
//   webhook_bench [--per-minute N]   (the robot's pace; 20 as the robots document)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "central/base/clock.h"
#include "central/fake_robot.h"
#include "central/service_client.h"
#include "central/store/retention.h"
#include "central/webhook/webhook_sender.h"
#include "crypto/codepage.h"
#include "util/text.h"

namespace {

std::string HitTarget(int person, int bar) {
  return Format("/tollimer/report.php?CID=3301021990030%05d&RET=00E04C6A1B2C|%d|", person, bar) +
         Utf8_ToAnsi(Format("网吧%d", bar)) + "|";
}

// Microseconds per hit's message queued one transaction each, as hits come.
double QueueMicros(CentralStore& store, const std::string& target, int count) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    if (!store.QueueOutbox({{target, "1", "b", "line"}}, NowMs())) return -1;
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / count;
}

bool QueueAndPruneFigures(CentralStore& store) {
  // A target of its own, with no robot: its messages stay waiting.
  const double empty = QueueMicros(store, "flood", 200);
  std::vector<OutboxEntry> fill(kOutboxWaitingCeiling, OutboxEntry{"flood", "1", "b", "line"});
  if (!store.QueueOutbox(fill, NowMs())) return false;
  const double full = QueueMicros(store, "flood", 200);
  int dropped = 0;
  for (const OutboxTargetState& s : store.OutboxStates(NowMs())) {
    if (s.target == "flood") dropped = s.dropped;
  }
  std::printf("a hit's message queued: %.0f us on an empty queue, %.0f us on a full one (%d waiting); %d counted "
              "as dropped\n",
              empty, full, kOutboxWaitingCeiling, dropped);

  // Delivered messages of a busy chain's months gone by (50 targets, each
  // queue full), removed 500 at a time.
  constexpr int kTargets = 50;
  const std::int64_t oldMs = NowMs() - 200LL * 86400 * 1000;
  std::vector<OutboxEntry> old;
  for (int t = 0; t < kTargets; ++t) {
    for (int i = 0; i < kOutboxWaitingCeiling; ++i) old.push_back({Format("old%d", t), "1", "b", "an old hit's line"});
  }
  if (!store.QueueOutbox(old, oldMs)) return false;
  for (int t = 0; t < kTargets; ++t) {
    std::vector<std::int64_t> seqs;
    for (const OutboxRow& r : store.OutboxWaiting(Format("old%d", t), kOutboxWaitingCeiling)) seqs.push_back(r.seq);
    if (!store.OutboxDelivered(seqs, oldMs)) return false;
  }
  int steps = 0;
  const auto start = std::chrono::steady_clock::now();
  const std::int64_t removed = PruneOldEvents(store, NowSeconds() - 90LL * 86400, 500, [&] { return ++steps > 0; });
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("retention: %lld old messages removed in %d steps of 500, %.0f ms (%.2f ms a step)\n",
              static_cast<long long>(removed), steps, ms, ms / std::max(steps, 1));
  return removed >= static_cast<std::int64_t>(old.size());
}

}  // namespace

int main(int argc, char** argv) {
  int perMinute = 20;
  if (argc == 3 && std::strcmp(argv[1], "--per-minute") == 0) perMinute = std::max(1, std::atoi(argv[2]));
  const std::int64_t spacingMs = 60000 / perMinute;

  FakeRobot robot(RobotKind::DingTalk, "SECbench");
  robot.Start();
  robot.SetPace(spacingMs);
  CentralConfig config;
  WebhookTarget target;
  target.name = "bench";
  target.kind = RobotKind::DingTalk;
  target.url = robot.Url();
  target.secret = "SECbench";
  target.perMinute = perMinute;
  config.webhooks = {target};
  RunningCentral central("webhook_bench", config);
  std::vector<BlacklistRow> listed;
  for (int i = 0; i < 200; ++i) {
    const std::string id = Format("3301021990030%05d", i);
    listed.push_back({id, id + " #三 2026-01-02 打架斗殴"});
  }
  if (!central.store->ImportBlacklist(listed, false)) return 1;

  // Single hits on an idle robot, a pace apart: report to delivery.
  std::vector<std::int64_t> delays;
  for (int i = 0; i < 5; ++i) {
    const std::int64_t sent = NowMs();
    if (HttpGet(central.HttpPort(), HitTarget(i, 3301 + i)).status != 200) return 1;
    if (!robot.WaitFor(static_cast<std::size_t>(i + 1), 30000)) return 1;
    delays.push_back(robot.Messages().back().receivedMs - sent);
    SleepMs(static_cast<int>(spacingMs) + 100);
  }
  std::sort(delays.begin(), delays.end());
  std::printf("hit to robot: median %lld ms, slowest %lld ms of %zu (the sender gathers a bar's hits for 800 ms)\n",
              static_cast<long long>(delays[delays.size() / 2]), static_cast<long long>(delays.back()), delays.size());
  const std::size_t before = robot.Messages().size();

  // 200 hits from 50 bars, four rounds over the bars, each bar from its own address.
  const std::int64_t start = NowMs();
  for (int round = 0; round < 4; ++round) {
    for (int bar = 0; bar < 50; ++bar) {
      const std::string from = Format("127.0.2.%d", 10 + bar);
      if (HttpGet(central.HttpPort(), HitTarget(round * 50 + bar, 5000 + bar), "", from).status != 200) return 1;
    }
  }
  const std::int64_t reported = NowMs() - start;
  for (int waited = 0; waited < 15 * 60 * 1000; waited += 200) {
    const auto states = central.store->OutboxStates(NowMs());
    if (!states.empty() && states[0].waiting == 0) break;
    SleepMs(200);
  }
  const std::int64_t drained = NowMs() - start;
  const auto messages = robot.Messages();
  int lines = 0;
  for (std::size_t i = before; i < messages.size(); ++i) {
    lines += static_cast<int>(std::count(messages[i].text.begin(), messages[i].text.end(), '\n'));
  }
  std::printf("burst of 200 hits from 50 bars (reported in %lld ms): %d hit lines in %zu messages, delivered in %.1f s "
              "at %d a minute; robot refusals %d\n",
              static_cast<long long>(reported), lines, messages.size() - before, drained / 1000.0, perMinute,
              robot.Refusals());
  std::printf("a message as the robot received it:\n%s\n%s\n", messages[before].target.c_str(),
              messages[before].rawBody.c_str());
  if (lines != 200) return 1;
  return QueueAndPruneFigures(*central.store) ? 0 : 1;
}
