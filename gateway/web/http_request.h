#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brivane::gateway {

// Bounds on what a client may send before its request is refused.
struct RequestLimits {
  std::size_t requestLine = 4096;  // 414 beyond
  std::size_t header = 16384;      // the whole head, request line included; 431 beyond
  std::size_t fields = 64;         // header fields; 431 beyond
};

struct HttpRequest {
  std::string method;
  std::string target;                                       // as sent: origin form, "/path?query"
  std::string version;                                      // "HTTP/1.1" or "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> fields;  // names in lower case

  const std::string* Field(std::string_view lowerName) const;
};

struct RequestParse {
  enum class Outcome { kIncomplete, kDone, kRefused };
  Outcome outcome = Outcome::kIncomplete;
  HttpRequest request;       // kDone
  std::size_t headSize = 0;  // kDone: the bytes of the head, its blank line included
  int status = 0;            // kRefused: the 4xx or 5xx to answer
  std::string error;         // kRefused: a short text for the reply
};

// A request head from the start of bytes (lines end in CR LF or LF). The dashboard
// reads only: a request that announces a body is refused.
RequestParse ParseRequest(std::string_view bytes, const RequestLimits& limits = {});

// A target split into its decoded path and query parameters.
struct Target {
  std::string path;
  std::map<std::string, std::string> query;  // the first of a repeated name counts
};
// Nothing when a %-escape is malformed or the path decodes to a NUL or is not absolute.
std::optional<Target> ParseTarget(std::string_view target);
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

}  // namespace brivane::gateway
