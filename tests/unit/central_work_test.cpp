#include "app/central_work.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "blacklist/blacklist_store.h"
#include "crypto/crc32.h"
#include "crypto/envelope.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"
#include "fakes/fake_update_files.h"
#include "fakes/service_reply.h"
#include "log/activity_log.h"

namespace {

const std::string kExe = "C:\\网吧\\Tollimer.exe";
const std::string kUpdateAddress = "http://svc/tollimer/update/";
const std::string kListUrl = "http://svc/tollimer/data/blklist.txt";
const std::string kLocalId = "11010119900307123X";
const std::string kServiceId = "37010219800101001X";
const std::string kRelease = "the next release";

std::string CrcOf(const std::string& bytes) { return Crc32Text(Crc32(0, bytes.data(), bytes.size())); }

std::string SealListLine(const std::string& text) {
  std::string sealed;
  Des_Crypt(text, 1, 3, 0, true, sealed);
  return sealed;
}

// The window thread's side driven by hand: the test runs the worker's jobs
// (RunJobs) and then applies their results (ApplyResults), so it sees what
// the window holds before and after each step.
struct CentralWorkFixture : testing::Test {
  FakeFiles files;
  FakeClock clock;
  ActivityLog log{files, clock};
  FakeHttpClient windowHttp;  // must stay unused: the window never waits
  FakeHttpClient workerHttp;
  TCenterPar par;
  std::uint32_t tick = 100000;
  BlacklistStore blacklist{files, windowHttp, [this] { return tick; },
                           [] { return CalendarDate{2024, 3, 7}; },
                           {"C:\\网吧\\blacklist.txt", kListUrl}};
  FakeUpdateFiles updateFiles;
  FakeUpdateShell shell;
  ReleaseSource source{[this](const std::string&, const std::string& destination) {
                         updateFiles.files[destination] = served;
                         return static_cast<int>(served.size());
                       },
                       [](const std::string&) { return std::string(); }};
  SelfUpdate selfUpdate{updateFiles, shell, log, source, std::nullopt, SelfUpdate::Running{}, kExe, kUpdateAddress};
  JobQueue queue;
  CentralWork work{{queue, workerHttp, log, par, blacklist, selfUpdate, kUpdateAddress, "00FF00FF"}};
  std::string served = kRelease;
  std::vector<std::string> events;
  bool quiet = true;

  CentralWorkFixture() {
    files.folders.insert("C:\\网吧\\LOGS\\");
    log.SetSwitch(true, "C:\\网吧\\");
    updateFiles.files[kExe] = "running program";
    auto& hooks = work.GetHooks();
    hooks.requestText = [] { return std::string("request"); };
    hooks.startupExchangeDone = [this] { events.push_back("startup done"); };
    hooks.blacklistLoaded = [this] { events.push_back("list " + std::to_string(blacklist.Lines().size())); };
    hooks.quietMoment = [this] { return quiet; };
  }

  void RunJobs() {
    while (queue.RunNext(false)) {
    }
  }
  void RunJobsAndApply() {
    RunJobs();
    work.ApplyResults();
  }
  std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    const std::string& text = files.files["C:\\网吧\\LOGS\\2024-03-07.TXT"];
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      texts.push_back(line.substr(line.find(' ', 11) + 1));
    }
    return texts;
  }
};

TEST_F(CentralWorkFixture, TheStartupExchangeIsAppliedOnlyWhenItsResultsAreTaken) {
  workerHttp.queuedReplies = {"", ServiceReply("delay=333\r\nclickmode=0\r\ninterval=5\r\nctidreturn=9\r\n"
                                               "crclist=ABCD1234,00FF00FF\r\n")};
  work.StartupExchange();
  // Nothing has happened on the window's side while the worker holds the job.
  EXPECT_TRUE(LogTexts().empty());
  EXPECT_EQ(par.FaceClickDelay, TCenterPar{}.FaceClickDelay);

  RunJobs();
  // The worker has answered, but the window's state waits for the results.
  EXPECT_EQ(par.FaceClickDelay, TCenterPar{}.FaceClickDelay);
  EXPECT_EQ(workerHttp.calls.size(), 2u);
  work.ApplyResults();
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Check_Update[1]=-1", "Check_Update[2]=1"}));
  EXPECT_EQ(par.FaceClickDelay, 333);
  EXPECT_EQ(par.ParamRefreshMinutes, 5);
  EXPECT_EQ(events, std::vector<std::string>{"startup done"});
  EXPECT_TRUE(windowHttp.calls.empty());
  EXPECT_TRUE(queue.TakeResults().empty());
}

TEST_F(CentralWorkFixture, AnUpdateAnnouncedAtStartupIsSwappedInAtTheFirstQuietTick) {
  workerHttp.defaultReply = ServiceReply("crclist=ABCD1234," + CrcOf(kRelease) + "\r\n");
  work.StartupExchange();
  RunJobsAndApply();  // the exchange, which queues the download
  EXPECT_FALSE(work.ReleaseWaiting());
  RunJobsAndApply();  // the download and its checks
  EXPECT_TRUE(work.ReleaseWaiting());
  EXPECT_EQ(updateFiles.files[kExe + ".NEW"], kRelease);

  // A face dialog or an alert being handled: the release waits.
  quiet = false;
  EXPECT_FALSE(work.OnTick());
  EXPECT_EQ(updateFiles.files[kExe], "running program");
  quiet = true;
  EXPECT_TRUE(work.OnTick());
  EXPECT_EQ(updateFiles.files[kExe], kRelease);
  EXPECT_FALSE(work.ReleaseWaiting());
  EXPECT_FALSE(work.OnTick());
  const auto texts = LogTexts();
  EXPECT_EQ(texts.front(), "Check_Update[1]=2");
  EXPECT_EQ(texts.back(), Format("AutoUpdate=%d,UpdateState=2", static_cast<int>(kRelease.size())));
  EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "Close"), 1);
}

TEST_F(CentralWorkFixture, AReleaseThatFailsItsChecksIsLoggedAtOnceAndNeverWaits) {
  workerHttp.defaultReply = ServiceReply("crclist=ABCD1234,12345678\r\n");
  served = "garbage in place of the release";
  work.StartupExchange();
  RunJobsAndApply();
  RunJobsAndApply();
  EXPECT_FALSE(work.ReleaseWaiting());
  EXPECT_FALSE(updateFiles.Exists(kExe + ".NEW"));
  // The refused release is backed off from, and the outcome is the first
  // tick's update.
  const auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Check_Update[1]=2");
  EXPECT_EQ(texts[1], "＃自动更新失败D,CODE:CRC=" + CrcOf(served));
  EXPECT_EQ(texts[2].rfind("UpdateBackoff=", 0), 0u) << texts[2];
  EXPECT_EQ(texts[3], "AutoUpdate=0,UpdateState=2");
}

TEST_F(CentralWorkFixture, ARefreshIsQueuedOnceAndItsStateComesBackWithItsLine) {
  std::vector<int> states;
  work.Refresh([&states](int state) { states.push_back(state); });
  work.Refresh([&states](int state) { states.push_back(state); });  // still under way
  RunJobsAndApply();
  EXPECT_EQ(workerHttp.calls.size(), 1u);
  EXPECT_EQ(workerHttp.calls[0].url, kUpdateAddress + "?t=2");
  EXPECT_EQ(states, std::vector<int>{-1});
  EXPECT_EQ(LogTexts(), std::vector<std::string>{"Call_Update=-1"});

  workerHttp.defaultReply = ServiceReply("interval=7\r\ncrclist=ABCD1234,00FF00FF\r\n");
  work.Refresh([&states](int state) { states.push_back(state); });
  RunJobsAndApply();
  EXPECT_EQ(states, (std::vector<int>{-1, 1}));
  EXPECT_EQ(par.ParamRefreshMinutes, 7);
  EXPECT_EQ(LogTexts().size(), 1u);  // a current release is not logged
}

TEST_F(CentralWorkFixture, TheLocalBlacklistCountsAtOnceAndTheServiceLinesFollow) {
  files.files["C:\\网吧\\blacklist.txt"] = kLocalId + "\t张三\t2024-01-02\t打架斗殴\r\n";
  workerHttp.defaultReply = SealListLine(kServiceId + " 王某 2024-02-02 盗窃") + "\r\n";
  work.LoadBlacklist("Load BlackList=");
  // A swipe now is checked against the local file, before the service answers.
  EXPECT_GE(blacklist.FindInBlacklist(kLocalId), 0);
  EXPECT_LT(blacklist.FindInBlacklist(kServiceId), 0);
  EXPECT_TRUE(LogTexts().empty());

  RunJobsAndApply();
  EXPECT_GE(blacklist.FindInBlacklist(kServiceId), 0);
  EXPECT_EQ(LogTexts(), std::vector<std::string>{"Load BlackList=2"});
  EXPECT_EQ(events, (std::vector<std::string>{"list 1", "list 2"}));
  EXPECT_EQ(workerHttp.calls.at(0).url, kListUrl);
  EXPECT_TRUE(windowHttp.calls.empty());

  // Within 3 s of the last load: refused, as the store's own load is; the
  // cashier's reload (no prefix) writes no line.
  work.LoadBlacklist("Reload BlackList=");
  work.LoadBlacklist("");
  RunJobsAndApply();
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Load BlackList=2", "Reload BlackList=0"}));
}

TEST_F(CentralWorkFixture, AHitReportReturnsAtOnceAndGoesOutInTurn) {
  QueuedRequests reports(queue, workerHttp);
  work.LoadBlacklist("Load BlackList=");
  EXPECT_EQ(reports.HttpRequest("http://svc/report?CID=1", "", 5000), "");
  EXPECT_TRUE(workerHttp.calls.empty());
  RunJobsAndApply();
  ASSERT_EQ(workerHttp.calls.size(), 2u);
  EXPECT_EQ(workerHttp.calls[0].url, kListUrl);
  EXPECT_EQ(workerHttp.calls[1].url, "http://svc/report?CID=1");
}

TEST_F(CentralWorkFixture, NothingQueuedIsRunOrAppliedOnceTheQueueStops) {
  work.StartupExchange();
  work.LoadBlacklist("Load BlackList=");
  queue.Stop();
  RunJobsAndApply();
  EXPECT_TRUE(workerHttp.calls.empty());
  EXPECT_TRUE(LogTexts().empty());
}

}  // namespace
