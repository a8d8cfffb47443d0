// The dashboard's reading of a client's request: head, target and history parameters.
// Never a crash; a head taken whole is well formed and no shorter beginning of it is
// taken or refused; a decoded path is absolute with no NUL; accepted history parameters
// always give a forward range and a bounded number of points.
//
// Input: the bytes a client sends.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/web/api_text.h"
#include "gateway/web/http_request.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brivane::gateway;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RequestLimits limits;
  limits.requestLine = 256;
  limits.header = 1024;
  limits.fields = 8;
  const RequestParse parse = ParseRequest(bytes, limits);
  if (parse.outcome == RequestParse::Outcome::kRefused) {
    FUZZ_REQUIRE(parse.status >= 400 && parse.status < 600);
    FUZZ_REQUIRE(!parse.error.empty());
    return 0;
  }
  if (parse.outcome == RequestParse::Outcome::kIncomplete) {
    // Nothing past the bounds is ever waited for.
    FUZZ_REQUIRE(size <= limits.header);
    return 0;
  }
  const HttpRequest& request = parse.request;
  FUZZ_REQUIRE(!request.method.empty());
  FUZZ_REQUIRE(request.target.size() <= limits.requestLine);
  FUZZ_REQUIRE(!request.target.empty() && request.target.front() == '/');
  FUZZ_REQUIRE(request.version == "HTTP/1.1" || request.version == "HTTP/1.0");
  FUZZ_REQUIRE(request.fields.size() <= limits.fields);
  FUZZ_REQUIRE(parse.headSize > 0 && parse.headSize <= size && parse.headSize <= limits.header);
  for (std::size_t cut = 0; cut < parse.headSize; cut += 1 + size / 16) {
    FUZZ_REQUIRE(ParseRequest(bytes.substr(0, cut), limits).outcome ==
                 RequestParse::Outcome::kIncomplete);
  }

  const auto target = ParseTarget(request.target);
  if (!target) {
    return 0;
  }
  FUZZ_REQUIRE(!target->path.empty() && target->path.front() == '/');
  FUZZ_REQUIRE(target->path.find('\0') == std::string::npos);
  FUZZ_REQUIRE(target->path.size() <= request.target.size());
  const auto history = ParseHistoryQuery(target->query, 1733600000);
  if (history.query) {
    FUZZ_REQUIRE(history.query->from < history.query->to);
    FUZZ_REQUIRE(history.query->points >= 1 && history.query->points <= kMaxPoints);
  } else {
    FUZZ_REQUIRE(!history.error.empty());
  }
  for (const auto& [name, value] : target->query) {
    if (const auto time = ParseTime(value)) {
      FUZZ_REQUIRE(*time >= -62167219200LL);  // not before year 0
    }
  }
  return 0;
}
