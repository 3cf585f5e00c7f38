#include "net/download.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "fakes/fake_http_server.h"

namespace {

namespace fs = std::filesystem;

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A reply whose whole header and body go out as the given pieces.
FakeReply Pieces(std::vector<std::string> pieces,
                 FakeReply::Ending ending = FakeReply::Ending::kClose) {
  FakeReply reply;
  reply.pieces = std::move(pieces);
  reply.ending = ending;
  return reply;
}

FakeReply Streaming(std::string head, std::string chunk, std::int64_t times, int gapMs = 0) {
  FakeReply reply;
  reply.pieces = {std::move(head)};
  reply.streamChunk = std::move(chunk);
  reply.streamTimes = times;
  reply.streamGapMs = gapMs;
  return reply;
}

class DownloadFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tollimer-download-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    options_.socketTimeoutMs = 400;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Target() const { return (folder_ / "new.exe").string(); }

  int Download(const std::string& pathAndQuery, bool overwrite) {
    return DownloadFile(server_.Url(pathAndQuery), Target(), overwrite, options_);
  }

  std::vector<std::string> LastRequestLines() {
    EXPECT_TRUE(server_.WaitForExchanges(1, 5000));
    auto exchanges = server_.Exchanges();
    return exchanges.empty() ? std::vector<std::string>{} : RequestLines(exchanges.back().request);
  }

  fs::path folder_;
  FakeHttpServer server_;
  DownloadOptions options_;
};

// --- The request as the peer receives it -----------------------------------

TEST_F(DownloadFileTest, SendsOnlyTheEncodedPathWithTheFixedHeaders) {
  server_.SetReply(HttpReply("200 OK", "abc"));
  EXPECT_EQ(Download("/update/a b.exe?id=1&x=2", true), 3);
  EXPECT_EQ(LastRequestLines(), (std::vector<std::string>{
                                    "GET /update/a%20b.exe HTTP/1.1",
                                    "Accept: */*",
                                    "Pragma: no-cache",
                                    "Host: 127.0.0.1",
                                    "User-Agent:FlowKite",
                                    "Connection: Close",
                                    "Cache-Control: no-cache",
                                }));
}

TEST_F(DownloadFileTest, AsksForTheRestOfAnExistingFileUnlessOverwriting) {
  struct Case {
    bool overwrite;
    const char* rangeLine;  // nullptr: no range asked for
  };
  for (Case c : {Case{false, "RANGE: bytes=1000-"}, Case{true, nullptr}}) {
    SCOPED_TRACE(c.overwrite);
    WriteFile(Target(), std::string(1000, 'x'));
    server_.SetReply(HttpReply(c.overwrite ? "200 OK" : "206 Partial Content", "abc"));
    std::size_t before = server_.Exchanges().size();
    EXPECT_EQ(Download("/f.exe", c.overwrite), 3);
    ASSERT_TRUE(server_.WaitForExchanges(before + 1, 5000));
    std::vector<std::string> expected = {"GET /f.exe HTTP/1.1", "Accept: */*", "Pragma: no-cache",
                                         "Host: 127.0.0.1"};
    if (c.rangeLine) expected.push_back(c.rangeLine);
    expected.insert(expected.end(),
                    {"User-Agent:FlowKite", "Connection: Close", "Cache-Control: no-cache"});
    EXPECT_EQ(RequestLines(server_.Exchanges().back().request), expected);
  }
}

// --- Replies to a fresh download -------------------------------------------

struct ReplyCase {
  const char* name;
  FakeReply reply;
  int result;
  std::optional<std::string> file;  // the file afterwards; nothing: not looked at
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class DownloadReplyTest : public DownloadFileTest, public testing::WithParamInterface<ReplyCase> {};

TEST_P(DownloadReplyTest, WritesTheBodyOrFails) {
  const ReplyCase& c = GetParam();
  options_.maxBodyBytes = 64 * 1024;
  options_.lowSpeedBytes = 1000;
  options_.lowSpeedWindowMs = 300;
  options_.overallLimitMs = 4000;
  server_.SetReply(c.reply);
  EXPECT_EQ(Download("/new.exe", true), c.result);
  if (c.file) {
    EXPECT_EQ(ReadFile(Target()), *c.file);
  }
}

const std::string kBody(10000, 'b');

INSTANTIATE_TEST_SUITE_P(
    DownloadFile, DownloadReplyTest,
    testing::Values(
        ReplyCase{"Ok", HttpReply("200 OK", "abc"), 3, "abc"},
        ReplyCase{"OkWithLength", HttpReply("200 OK", "abc", {"Content-Length: 3"}), 3, "abc"},
        ReplyCase{"EmptyBody", HttpReply("200 OK", ""), 0, ""},
        ReplyCase{"Http10Partial", Pieces({"HTTP/1.0 206 Partial Content\r\n\r\nxyz"}), 3, "xyz"},
        ReplyCase{"BinaryBody", HttpReply("200 OK", std::string("\0\r\n\r\n\xff", 6)), 6,
                  std::string("\0\r\n\r\n\xff", 6)},
        ReplyCase{"LargeBodyInManyChunks", Streaming("HTTP/1.1 200 OK\r\n\r\n", kBody, 5), 50000,
                  std::string(50000, 'b')},
        // The end of the header is found wherever the chunks are cut.
        ReplyCase{"HeaderSplitOverChunks",
                  Pieces({"HTTP/1.1 2", "00 OK\r\nContent-Le", "ngth: 3\r\n\r", "\nab", "c"}), 3,
                  "abc"},
        ReplyCase{"HeaderCutInsideTheEmptyLine", Pieces({"HTTP/1.1 200 OK\r\n\r\n", "abc"}), 3,
                  "abc"},
        ReplyCase{"StatusLineAlone", Pieces({"HTTP/1.1 200 OK\r\nA: b\r\n", "\r\n", "abc"}), 3,
                  "abc"},
        // Anything but 200 or 206 leaves the file as created: empty.
        ReplyCase{"NotFound", HttpReply("404 Not Found", "gone"), kDownloadBadReply, ""},
        ReplyCase{"Redirect", HttpReply("302 Found", "", {"Location: /other.exe"}),
                  kDownloadBadReply, ""},
        ReplyCase{"StatusWithoutSpace", Pieces({"HTTP/1.1 200\r\n\r\nabc"}), kDownloadBadReply, ""},
        ReplyCase{"NotHttp", Pieces({"hello\r\n\r\nabc"}), kDownloadBadReply, ""},
        ReplyCase{"ClosedBeforeHeaderEnded", Pieces({"HTTP/1.1 200 OK\r\n"}), kDownloadBadReply,
                  ""},
        ReplyCase{"NoReplyAtAll", Pieces({}), kDownloadBadReply, ""},
        ReplyCase{"HeaderWithoutEnd", Streaming("HTTP/1.1 200 OK\r\n", "X-Pad: xxxx\r\n", -1),
                  kDownloadBadReply, ""},
        ReplyCase{"ChunkedBody",
                  HttpReply("200 OK", "3\r\nabc\r\n0\r\n\r\n", {"Transfer-Encoding: chunked"}),
                  kDownloadBadReply, ""},
        // A broken transfer is a failure, never a partial count.
        ReplyCase{"ResetInsideBody",
                  Pieces({"HTTP/1.1 200 OK\r\n\r\nab"}, FakeReply::Ending::kReset),
                  kDownloadBrokenReply, std::nullopt},
        ReplyCase{"SilentInsideBody",
                  Pieces({"HTTP/1.1 200 OK\r\n\r\nab"}, FakeReply::Ending::kStall),
                  kDownloadBrokenReply, std::nullopt},
        ReplyCase{"SilentInsideHeader", Pieces({"HTTP/1.1 200 OK\r\n"}, FakeReply::Ending::kStall),
                  kDownloadBrokenReply, ""},
        ReplyCase{"ClosedBeforeAnnouncedLength", HttpReply("200 OK", "abc", {"Content-Length: 10"}),
                  kDownloadBrokenReply, std::nullopt},
        // A server that keeps the connection after the announced body is done.
        ReplyCase{
            "SilentAfterAnnouncedLength",
            Pieces({"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"}, FakeReply::Ending::kStall),
            3, "abc"},
        // Without end, too big or too slow: bounded by the options.
        ReplyCase{"Endless", Streaming("HTTP/1.1 200 OK\r\n\r\n", kBody, -1), kDownloadTooLarge,
                  std::nullopt},
        ReplyCase{"AnnouncedTooLarge", HttpReply("200 OK", "abc", {"Content-Length: 1073741824"}),
                  kDownloadTooLarge, ""},
        ReplyCase{"Trickle", Streaming("HTTP/1.1 200 OK\r\n\r\n", "b", -1, 20), kDownloadTooSlow,
                  std::nullopt},
        ReplyCase{"TrickleInsideHeader", Streaming("HTTP/1.1 200 OK\r\n", "X", -1, 20),
                  kDownloadTooSlow, ""},
        // Slow but steady: about 1.5 s in all, five windows of the limit,
        // each bringing more than the limit asks for.
        ReplyCase{"SlowButSteady", Streaming("HTTP/1.1 200 OK\r\n\r\n", std::string(500, 's'), 30, 50),
                  15000, std::string(15000, 's')},
        // Steady enough for the low-speed limit, but without end (and under
        // the size cap): the overall ceiling ends it.
        ReplyCase{"SteadyPastTheCeiling",
                  Streaming("HTTP/1.1 200 OK\r\n\r\n", std::string(500, 's'), -1, 50), kDownloadTooLong,
                  std::nullopt}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

// --- Continuing a file -----------------------------------------------------

struct ResumeCase {
  const char* name;
  FakeReply reply;
  int result;
  std::string file;
};
void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.name; }

class DownloadResumeTest : public DownloadFileTest,
                           public testing::WithParamInterface<ResumeCase> {};

TEST_P(DownloadResumeTest, AppendsOnlyARangeThatFollowsTheFile) {
  const ResumeCase& c = GetParam();
  WriteFile(Target(), "0123456789");
  server_.SetReply(c.reply);
  EXPECT_EQ(Download("/new.exe", false), c.result);
  EXPECT_EQ(ReadFile(Target()), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    DownloadFile, DownloadResumeTest,
    testing::Values(
        ResumeCase{"PartialIsAppended", HttpReply("206 Partial Content", "abc"), 3,
                   "0123456789abc"},
        ResumeCase{"PartialFromTheEndIsAppended",
                   HttpReply("206 Partial Content", "abc", {"Content-Range: bytes 10-12/13"}), 3,
                   "0123456789abc"},
        // The server ignored the range: the whole resource replaces the file.
        ResumeCase{"WholeRestartsTheFile", HttpReply("200 OK", "whole"), 5, "whole"},
        ResumeCase{"PartialFromElsewhereIsRefused",
                   HttpReply("206 Partial Content", "abc", {"Content-Range: bytes 0-2/13"}),
                   kDownloadBadReply, "0123456789"},
        ResumeCase{"NotFoundKeepsTheFile", HttpReply("404 Not Found", "gone"), kDownloadBadReply,
                   "0123456789"}),
    [](const testing::TestParamInfo<ResumeCase>& info) { return info.param.name; });

// --- Failures before the reply ---------------------------------------------

TEST_F(DownloadFileTest, FailsWithoutCreatingTheFileWhenTheServerCannotBeReached) {
  std::string deadUrl;
  {
    FakeHttpServer gone;
    deadUrl = gone.Url("/new.exe");
  }
  EXPECT_EQ(DownloadFile(deadUrl, Target(), true, options_), kDownloadConnectFailed);
  EXPECT_EQ(DownloadFile("http:///new.exe", Target(), true, options_), kDownloadSendTimeoutOrHost);
  EXPECT_EQ(DownloadFile("http://127.0.0.1:65536/new.exe", Target(), true, options_),
            kDownloadConnectFailed);
  EXPECT_FALSE(fs::exists(Target()));
}

TEST_F(DownloadFileTest, ClosesTheConnectionWhenTheDestinationCannotBeCreated) {
  WriteFile(folder_ / "plain-file", "x");
  server_.SetReply(HttpReply("200 OK", "abc"));
  const std::string target = (folder_ / "plain-file" / "new.exe").string();
  EXPECT_EQ(DownloadFile(server_.Url("/new.exe"), target, true, options_), kDownloadFileFailed);
  ASSERT_TRUE(server_.WaitForExchanges(1, 5000));
  FakeExchange exchange = server_.Exchanges().front();
  EXPECT_TRUE(exchange.clientGone);
  EXPECT_EQ(exchange.request, "");
}

// --- A destination taken from the URL ---------------------------------------

TEST_F(DownloadFileTest, RefusesAUrlPathThatLeavesTheProgramFolder) {
  // The program folder is a sub-folder, so a file written one level up would
  // be seen in folder_.
  const fs::path program = folder_ / "prog";
  fs::create_directory(program);
  options_.programFolder = program.string() + "/";
  server_.SetReply(HttpReply("200 OK", "abc"));
  for (const char* path : {"/../evil.exe", "/a/../../evil.exe", "/..", "/C:/evil.exe",
                           "//evil.exe", "/a//evil.exe", "/a/", "/"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(DownloadFile(server_.Url(path), "", true, options_), kDownloadFileFailed);
  }
  EXPECT_TRUE(fs::is_empty(program));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
  // Nothing was asked of the server either.
  EXPECT_TRUE(server_.Exchanges().empty());
}

TEST_F(DownloadFileTest, PutsAUrlPathWithFoldersUnderTheProgramFolder) {
  // Natively the joined path keeps its "\": one file name of the folder.
  options_.programFolder = folder_.string() + "/";
  server_.SetReply(HttpReply("200 OK", "abc"));
  EXPECT_EQ(DownloadFile(server_.Url("/up/new.exe"), "", true, options_), 3);
  EXPECT_EQ(ReadFile(folder_ / "up\\new.exe"), "abc");
}

TEST_F(DownloadFileTest, CreatesMissingFoldersOfTheDestination) {
  server_.SetReply(HttpReply("200 OK", "abc"));
  const fs::path target = folder_ / "a" / "b" / "new.exe";
  EXPECT_EQ(DownloadFile(server_.Url("/new.exe"), target.string(), true, options_), 3);
  EXPECT_EQ(ReadFile(target), "abc");
}

}  // namespace

namespace {

TEST_F(DownloadFileTest, EndsATrickleSoonAfterTheStopFlagIsSet) {
  // A release trickling in endlessly at a pace the low-speed limit accepts:
  // only the flag (the program closing) ends it.
  options_.lowSpeedBytes = 1;
  std::atomic<bool> stop{false};
  options_.stop = &stop;
  server_.SetReply(Streaming("HTTP/1.1 200 OK\r\n\r\n", "t", -1, 20));
  std::thread stopper([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
  });
  EXPECT_EQ(Download("/new.exe", true), kDownloadStopped);
  stopper.join();
}

}  // namespace
