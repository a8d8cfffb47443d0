#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "gateway/web/api_text.h"
#include "gateway/web/http_request.h"
#include "gateway/web/static_files.h"
#include "tests/support/temp_folder.h"

namespace brivane::gateway {
namespace {

using Outcome = RequestParse::Outcome;

TEST(RequestParser, ReadsAHeadAndRefusesWhatItMustNot) {
  const auto done =
      ParseRequest("GET /api/state?x=1 HTTP/1.1\r\nHost: pi\r\nAccept:  */* \r\n\r\n");
  ASSERT_EQ(done.outcome, Outcome::kDone);
  EXPECT_EQ(done.request.method, "GET");
  EXPECT_EQ(done.request.target, "/api/state?x=1");
  ASSERT_TRUE(done.request.Field("accept"));
  EXPECT_EQ(*done.request.Field("accept"), "*/*");
  // What follows the head is not part of it.
  EXPECT_EQ(ParseRequest("GET / HTTP/1.0\r\n\r\nrest").headSize, 18u);
  // Bare LF line ends, HTTP/1.0 without Host.
  EXPECT_EQ(ParseRequest("GET / HTTP/1.0\n\n").outcome, Outcome::kDone);
  // Not there yet.
  EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nHost: a\r\n").outcome, Outcome::kIncomplete);
  EXPECT_EQ(ParseRequest("").outcome, Outcome::kIncomplete);

  const std::pair<std::string, int> refused[] = {
      {"GET / HTTP/1.1\r\n\r\n", 400},              // no Host
      {"GET  / HTTP/1.1\r\nHost: a\r\n\r\n", 400},  // two spaces
      {"GET / HTTP/2.0\r\nHost: a\r\n\r\n", 505},
      {"GET / FTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"GET http://a/ HTTP/1.1\r\nHost: a\r\n\r\n", 400},  // absolute form
      {"G(T / HTTP/1.1\r\nHost: a\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: a\r\n folded\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost a\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\nhello", 400},
      {"GET / HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
      {"GET /\x01 HTTP/1.1\r\nHost: a\r\n\r\n", 400},
  };
  for (const auto& [bytes, status] : refused) {
    const auto parse = ParseRequest(bytes);
    EXPECT_EQ(parse.outcome, Outcome::kRefused) << bytes;
    EXPECT_EQ(parse.status, status) << bytes;
  }
  // Limits hold before the head is complete, so a client cannot make us buffer forever.
  RequestLimits limits;
  EXPECT_EQ(ParseRequest("GET /" + std::string(5000, 'a'), limits).status, 414);
  std::string many = "GET / HTTP/1.1\r\nHost: a\r\n";
  for (int i = 0; i < 100; ++i) {
    many += "X-" + std::to_string(i) + ": y\r\n";
  }
  EXPECT_EQ(ParseRequest(many + "\r\n", limits).status, 431);
  EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nX: " + std::string(20000, 'b'), limits).status, 431);
}

TEST(RequestParser, TargetsDecodeOnceAndStrictly) {
  const auto target = ParseTarget("/api/history?device=fx_0&key=battery%5Fvoltage&from=a+b&&x");
  ASSERT_TRUE(target);
  EXPECT_EQ(target->path, "/api/history");
  EXPECT_EQ(target->query.at("key"), "battery_voltage");
  EXPECT_EQ(target->query.at("from"), "a b");
  EXPECT_EQ(target->query.at("x"), "");
  ASSERT_TRUE(ParseTarget("/%2e%2e/etc/passwd"));
  EXPECT_EQ(ParseTarget("/%2e%2e/etc/passwd")->path, "/../etc/passwd");
  EXPECT_EQ(ParseTarget("/%252e")->path, "/%2e");  // decoded once only
  EXPECT_FALSE(ParseTarget("/a%00b"));
  EXPECT_FALSE(ParseTarget("/a%2"));
  EXPECT_FALSE(ParseTarget("/a%zz"));
  EXPECT_FALSE(ParseTarget("/?k=%"));
}

TEST(StaticFiles, NothingOutsideTheFolderIsFound) {
  testkit::TempFolder folder;
  const auto root = folder / "web";
  std::filesystem::create_directories(root / "sub");
  testkit::WriteFile(root / "index.html", "<html>");
  testkit::WriteFile(root / "sub" / "a.js", "1");
  testkit::WriteFile(folder / "secret.txt", "no");
  std::filesystem::create_symlink(folder / "secret.txt", root / "leak.txt");
  std::filesystem::create_symlink(folder.Path(), root / "up");
  std::filesystem::create_symlink(root / "sub" / "a.js", root / "inside.js");
  const auto vendor = folder / "vendor";
  std::filesystem::create_directories(vendor);
  testkit::WriteFile(vendor / "dygraph.min.js", "d");
  testkit::WriteFile(vendor / "other.js", "o");

  EXPECT_EQ(FindStaticFile(root, "/", vendor).file,
            std::filesystem::canonical(root / "index.html"));
  EXPECT_TRUE(FindStaticFile(root, "/sub/a.js", vendor).file);
  EXPECT_TRUE(FindStaticFile(root, "/inside.js", vendor).file);  // a link that stays inside
  EXPECT_TRUE(FindStaticFile(root, "/vendor/dygraph.min.js", vendor).file);
  for (const char* path :
       {"/../secret.txt", "/sub/../../secret.txt", "/leak.txt", "/up/secret.txt",
        "/vendor/other.js", "/vendor/../secret.txt", "/.hidden", "/sub", "/nothing", "//etc/passwd",
        "/sub//a.js", "/./index.html", "/vendor/dygraph.css"}) {
    const auto found = FindStaticFile(root, path, vendor);
    EXPECT_FALSE(found.file) << path;
    EXPECT_TRUE(found.status == 403 || found.status == 404) << path;
  }
}

TEST(ApiText, TimesAndHistoryParameters) {
  EXPECT_EQ(ParseTime("1733600000"), 1733600000);
  EXPECT_EQ(ParseTime("2024-12-07T19:33:20Z"), 1733600000);
  EXPECT_EQ(ParseTime("2024-12-07T19:33:20.123Z"), 1733600000);
  EXPECT_EQ(ParseTime("2024-12-07T19:33"), 1733600000 - 20);
  EXPECT_EQ(ParseTime("2024-12-07T19:33:20+00:00"), 1733600000);
  for (const char* bad :
       {"", "-5", "yesterday", "2024-13-01T00:00Z", "2024-04-31T00:00Z",
        "2024-12-07T19:33:20+02:00", "2024-12-07", "2024-12-07T25:00Z", "99999999999999999999"}) {
    EXPECT_FALSE(ParseTime(bad)) << bad;
  }
  const std::int64_t now = 1733600000;
  auto parsed = ParseHistoryQuery({{"device", "fx_0"}, {"key", "battery_voltage"}}, now);
  ASSERT_TRUE(parsed.query);
  EXPECT_EQ(parsed.query->from, now - 86400);
  EXPECT_EQ(parsed.query->to, now);
  EXPECT_EQ(parsed.query->points, 500);
  const std::map<std::string, std::string> bad[] = {
      {{"key", "k"}},
      {{"device", "d"}},
      {{"device", "d"}, {"key", "k"}, {"from", "x"}},
      {{"device", "d"}, {"key", "k"}, {"to", "1.5"}},
      {{"device", "d"}, {"key", "k"}, {"from", "20"}, {"to", "10"}},
      {{"device", "d"}, {"key", "k"}, {"points", "0"}},
      {{"device", "d"}, {"key", "k"}, {"points", "-1"}},
      {{"device", "d"}, {"key", "k"}, {"points", "99999999"}},
  };
  for (const auto& parameters : bad) {
    EXPECT_FALSE(ParseHistoryQuery(parameters, now).query);
  }
  EXPECT_EQ(EventText("state", {{"a", "x\ny"}}), "event: state\ndata: {\"a\":\"x\\ny\"}\n\n");
}

}  // namespace
}  // namespace brivane::gateway
