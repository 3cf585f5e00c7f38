// Figures of the robots' delivery through the real service and a fake robot
// on loopback that refuses messages faster than its pace: the delay from a
// hit's report to the robot, and a burst of 200 hits from 50 bars drained
// at the robot's pace without loss.
//   webhook_bench [--per-minute N]   (the robot's pace; 20 as the robots document)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "central/base/clock.h"
#include "central/fake_robot.h"
#include "central/service_client.h"
#include "central/webhook/webhook_sender.h"
#include "crypto/codepage.h"
#include "util/text.h"

namespace {

std::string HitTarget(int person, int bar) {
  return Format("/tollimer/report.php?CID=3301021990030%05d&RET=00E04C6A1B2C|%d|", person, bar) +
         Utf8_ToAnsi(Format("网吧%d", bar)) + "|";
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
  return lines == 200 ? 0 : 1;
}
