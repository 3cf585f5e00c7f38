// The service under the classic connection attacks, over loopback: 500 slow
// clients dripping a header byte a second and 500 idle connections, all from
// one address (127.0.0.2), against each listener in turn. An assistant's
// requests from another address (127.0.0.1) must keep being answered.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "central/attack_client.h"
#include "central/base/clock.h"
#include "central/http/gated_listener.h"
#include "central/service.h"
#include "central/service_client.h"

namespace {

constexpr int kSlowClients = 500;
constexpr int kIdleClients = 500;
constexpr int kRounds = 10;
constexpr int kRoundGapMs = 600;  // ten rounds span more than a request's deadline
const std::string kAttacker = "127.0.0.2";

// One legitimate request: true when the right answer came.
using Request = std::function<bool(RunningCentral&)>;

struct Listener {
  const char* name;
  std::function<int(RunningCentral&)> port;
  std::function<ListenerCounts(RunningCentral&)> counts;
  std::vector<std::pair<const char*, Request>> requests;
};

bool Exchange(RunningCentral& central) {
  const RawReply reply = HttpPost(central.HttpPort(), "/tollimer/update/?t=2",
                                  SealAsAssistant(AssistantReport("00E04C6A1B2C", "WD-9", "0BADF00D", "3301", "bar")));
  const auto payload = reply.status == 200 ? OpenAsAssistant(reply.body) : std::nullopt;
  return payload && PayloadValue(*payload, "interval") == "30";
}

bool Blacklist(RunningCentral& central) {
  const RawReply reply = HttpGet(central.HttpPort(), "/tollimer/data/blklist.txt");
  return reply.status == 200 && reply.body.size() > 18;
}

bool StatusPage(RunningCentral& central) {
  const RawReply reply = HttpGet(central.service->StatusPort(), "/");
  return reply.status == 200 && reply.body.find("<html") != std::string::npos;
}

struct Timings {
  std::vector<std::int64_t> ms;
  std::int64_t Median() {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
  }
  std::int64_t Worst() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// Every request of `listener` once; each must be answered rightly within a
// second. Adds the times to `timings`.
void OneRound(RunningCentral& central, const Listener& listener, const char* phase, int round, Timings& timings) {
  for (const auto& [name, request] : listener.requests) {
    const std::int64_t start = SteadyMs();
    const bool answered = request(central);
    const std::int64_t took = SteadyMs() - start;
    timings.ms.push_back(took);
    EXPECT_TRUE(answered) << listener.name << ", " << name << ", " << phase << " round " << round;
    EXPECT_LT(took, 1000) << listener.name << ", " << name << ", " << phase << " round " << round;
  }
}

TEST(ServiceUnderAttack, SlowAndIdleClientsFromOneAddressDoNotKeepTheAssistantsOut) {
  // Both ends of every connection live in this process.
  ASSERT_GE(EnsureDescriptorRoom(4096), 4096u) << "the test needs 4096 descriptors";
  const Listener listeners[] = {
      {"service listener", [](RunningCentral& c) { return c.HttpPort(); },
       [](RunningCentral& c) { return c.service->HttpCounts(); },
       {{"exchange", Exchange}, {"blacklist", Blacklist}}},
      {"status listener", [](RunningCentral& c) { return c.service->StatusPort(); },
       [](RunningCentral& c) { return c.service->StatusCounts(); },
       {{"status page", StatusPage}}},
  };
  for (const Listener& listener : listeners) {
    RunningCentral central("central_under_attack");
    ASSERT_TRUE(central.store->SetParam("", "interval", "30"));
    ASSERT_TRUE(central.store->ImportBlacklist({{"330102199003074415", "330102199003074415 name 2024-01-02 why"}},
                                               true));
    const std::size_t share = central.config.connectionsPerAddress;

    Timings before, under, after;
    for (int round = 0; round < kRounds; ++round) OneRound(central, listener, "before", round, before);

    ConnectionAttack attack(listener.port(central), kAttacker, kSlowClients, kIdleClients);
    // The attack is in place once the listener has refused most of it.
    for (int i = 0; i < 100 && listener.counts(central).refusedAddressFull < kSlowClients; ++i) SleepMs(50);
    ASSERT_GE(listener.counts(central).refusedAddressFull, kSlowClients) << listener.name;
    for (int round = 0; round < kRounds; ++round) {
      OneRound(central, listener, "under attack", round, under);
      SleepMs(kRoundGapMs);
    }
    const ListenerCounts pressed = listener.counts(central);
    // The attacker held its address's share all along, got the rest refused,
    // and its requests that never end were dropped at their deadline.
    EXPECT_GE(pressed.accepted, static_cast<std::int64_t>(share)) << listener.name;
    EXPECT_GT(pressed.timedOut, 0) << listener.name;
    EXPECT_GT(attack.Connects(), kSlowClients + kIdleClients) << listener.name << ": the attacker came back";
    attack.Stop();

    for (int round = 0; round < kRounds; ++round) OneRound(central, listener, "after", round, after);
    std::printf("%s: request ms before %lld (worst %lld), under attack %lld (worst %lld), after %lld (worst %lld); "
                "%lld attacker connections, %lld refused at once, %lld dropped at the deadline\n",
                listener.name, static_cast<long long>(before.Median()), static_cast<long long>(before.Worst()),
                static_cast<long long>(under.Median()), static_cast<long long>(under.Worst()),
                static_cast<long long>(after.Median()), static_cast<long long>(after.Worst()),
                attack.Connects(), static_cast<long long>(pressed.refusedAddressFull),
                static_cast<long long>(pressed.timedOut));
  }
}

}  // namespace
