// HttpRequest over WinHTTP against the loopback fake central service
// (tests/e2e/fakes/central_service.py), which echoes and records requests; it
// runs the test program and tells it where it listens:
//   python3 tests/e2e/fakes/central_service.py --port 0 --log requests.jsonl
//       -- wine build/win/win_tests.exe --gtest_filter='HttpRequest*'
// Without the fake (no TOLLIMER_FAKE_SERVICE_PORT) the tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/http_client.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
    lines.push_back(text.substr(begin, end - begin));
  }
  lines.push_back(text.substr(begin));
  return lines;
}

// The header lines of an echoed request that carry the field `name`.
std::vector<std::string> Fields(const std::vector<std::string>& lines, const std::string& name) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.size() > name.size() && line.compare(0, name.size() + 1, name + ":") == 0) {
      found.push_back(line);
    }
  }
  return found;
}

class HttpRequestTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = Env("TOLLIMER_FAKE_SERVICE_PORT");
    if (port_.empty()) {
      GTEST_SKIP() << "needs the fake central service: tests/e2e/fakes/central_service.py "
                      "--port 0 --log FILE -- wine win_tests.exe";
    }
  }

  std::string Url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + port_ + pathAndQuery;
  }

  std::unique_ptr<HttpClient> client_ = MakeServiceHttpClient();
  std::string port_;
};

TEST_F(HttpRequestTest, GetCarriesTheTargetAndTheFourHeadersOnce) {
  const std::vector<std::string> echoed =
      Lines(client_->HttpRequest(Url("/__fake/echo/a/b.txt?x=1&y=2"), "", 5000));
  ASSERT_FALSE(echoed.empty());
  EXPECT_EQ(echoed[0], "GET /__fake/echo/a/b.txt?x=1&y=2 HTTP/1.1");
  EXPECT_EQ(Fields(echoed, "Host"), std::vector<std::string>{"Host: 127.0.0.1"});
  EXPECT_EQ(Fields(echoed, "User-Agent"), std::vector<std::string>{"User-Agent: OrvAssistant"});
  EXPECT_EQ(Fields(echoed, "Accept"), std::vector<std::string>{"Accept: text/*"});
  EXPECT_EQ(Fields(echoed, "Content-Type"),
            std::vector<std::string>{"Content-Type: application/json"});
}

TEST_F(HttpRequestTest, PostSendsTheBodyByteForByte) {
  // GBK bytes in the body travel unconverted.
  const std::string body = "{\"BarName\":\"网吧\",\"n\":1}";
  const std::string reply = client_->HttpRequest(Url("/__fake/echo"), body, 5000);
  const std::vector<std::string> echoed = Lines(reply);
  EXPECT_EQ(echoed[0], "POST /__fake/echo? HTTP/1.1");
  EXPECT_EQ(Fields(echoed, "User-Agent"), std::vector<std::string>{"User-Agent: OrvAssistant"});
  ASSERT_GE(reply.size(), body.size());
  EXPECT_EQ(reply.substr(reply.size() - body.size()), body);
}

TEST_F(HttpRequestTest, AUrlWithoutPathAsksForTheRootWithAnEmptyQuery) {
  const std::string log = Env("TOLLIMER_FAKE_SERVICE_LOG");
  if (log.empty()) GTEST_SKIP() << "needs the fake's request log (--log)";
  EXPECT_EQ(client_->HttpRequest(Url(""), "", 5000), "not found");
  std::ifstream in(log, std::ios::binary);
  std::string line, last;
  while (std::getline(in, line)) last = line;
  EXPECT_NE(last.find("\"request_line\": \"GET /? HTTP/1.1\""), std::string::npos) << last;
}

TEST_F(HttpRequestTest, ReturnsTheBodyCutAtZeroAndTrimmedWhateverTheStatus) {
  struct Case {
    const char* query;  // status and body (hex) of the fake's reply
    std::string text;
  };
  const Case cases[] = {
      {"hex=2020616263200d0a", "abc"},
      {"hex=0d0a0961200962200a", "a \tb"},
      {"hex=616200636465", "ab"},
      {"hex=200d0a", ""},
      {"hex=", ""},
      {"status=404&hex=6e6f7420686572650d0a", "not here"},
      {"status=500&hex=cdf8b0c9", "网吧"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    EXPECT_EQ(client_->HttpRequest(Url(std::string("/__fake/say?") + c.query), "", 5000), c.text);
  }
}

TEST_F(HttpRequestTest, GivesTheEmptyTextWhenTheServiceFails) {
  const std::string deadPort = Env("TOLLIMER_FAKE_DEAD_PORT");
  struct Case {
    std::string url;
    int timeoutMs;
  };
  std::vector<Case> cases = {
      {Url("/__fake/stall"), 300},     // accepts, never answers
      {Url("/__fake/endless"), 5000},  // answers without end
      {"", 300},
  };
  if (!deadPort.empty()) cases.push_back({"http://127.0.0.1:" + deadPort + "/", 300});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(client_->HttpRequest(c.url, "", c.timeoutMs), "");
  }
}

TEST_F(HttpRequestTest, AReplyTricklingPastTheDeadlineIsCutOffInTimeAndGivesNothing) {
  // 4000 bytes, one every 2 ms: 8 s in all, against a 100 ms time-out whose
  // reading bound is 2.4 s. The call must end near that bound, not after the
  // reply, and must not hand back the part that arrived.
  const ULONGLONG start = GetTickCount64();
  const std::string reply = client_->HttpRequest(Url("/__fake/trickle?bytes=4000&gap_ms=2"), "", 100);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_EQ(reply, "");
  EXPECT_LT(took, 4000u) << "the reading bound did not hold";
}

TEST_F(HttpRequestTest, ASlowButWholeReplyWithinTheBoundArrivesWhole) {
  const std::string reply = client_->HttpRequest(Url("/__fake/trickle?bytes=300&gap_ms=2"), "", 5000);
  EXPECT_EQ(reply, std::string(300, 't'));
}

}  // namespace
