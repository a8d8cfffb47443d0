#include "gateway/web/http_request.h"

#include <algorithm>
#include <cctype>

namespace brivane::gateway {
namespace {

// RFC 9110 token characters.
bool TokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), TokenChar);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

RequestParse Refused(int status, std::string error) {
  RequestParse parse;
  parse.outcome = RequestParse::Outcome::kRefused;
  parse.status = status;
  parse.error = std::move(error);
  return parse;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

const std::string* HttpRequest::Field(std::string_view lowerName) const {
  for (const auto& [name, value] : fields) {
    if (name == lowerName) {
      return &value;
    }
  }
  return nullptr;
}

RequestParse ParseRequest(std::string_view bytes, const RequestLimits& limits) {
  // Blank lines before a request are tolerated (RFC 9112, 2.2).
  std::size_t at = 0;
  while (at < bytes.size() && (bytes[at] == '\r' || bytes[at] == '\n') && at < 8) {
    ++at;
  }
  std::vector<std::string_view> lines;
  std::size_t headSize = 0;
  bool complete = false;
  while (true) {
    const std::size_t end = bytes.find('\n', at);
    const std::size_t lineLength = (end == std::string_view::npos ? bytes.size() : end) - at;
    if (lines.empty() && lineLength > limits.requestLine) {
      return Refused(414, "request line too long");
    }
    if (end == std::string_view::npos) {
      if (bytes.size() > limits.header) {
        return Refused(431, "request header too large");
      }
      break;
    }
    std::string_view line = bytes.substr(at, lineLength);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    at = end + 1;
    headSize = at;
    if (headSize > limits.header) {
      return Refused(431, "request header too large");
    }
    if (line.empty()) {
      complete = true;
      break;
    }
    if (lines.size() > limits.fields) {
      return Refused(431, "too many header fields");
    }
    lines.push_back(line);
  }
  if (!complete) {
    return {};
  }
  if (lines.empty()) {
    return Refused(400, "no request line");
  }

  RequestParse parse;
  HttpRequest& request = parse.request;
  const std::string_view first = lines.front();
  const std::size_t space1 = first.find(' ');
  const std::size_t space2 = space1 == first.npos ? first.npos : first.find(' ', space1 + 1);
  if (space2 == first.npos || first.find(' ', space2 + 1) != first.npos) {
    return Refused(400, "malformed request line");
  }
  request.method = first.substr(0, space1);
  request.target = first.substr(space1 + 1, space2 - space1 - 1);
  request.version = first.substr(space2 + 1);
  if (!IsToken(request.method)) {
    return Refused(400, "malformed request line");
  }
  if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0") {
    return Refused(request.version.starts_with("HTTP/") ? 505 : 400, "unsupported HTTP version");
  }
  if (request.target.empty() || request.target.front() != '/' ||
      std::any_of(request.target.begin(), request.target.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f;
      })) {
    return Refused(400, "malformed request target");
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == line.npos || !IsToken(line.substr(0, colon))) {
      return Refused(400, "malformed header field");
    }
    std::string name(line.substr(0, colon));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string_view value = Trim(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return c == '\0' || c == '\r' || c == '\n'; })) {
      return Refused(400, "malformed header field");
    }
    request.fields.emplace_back(std::move(name), std::string(value));
  }
  if (request.version == "HTTP/1.1" && request.Field("host") == nullptr) {
    return Refused(400, "no Host field");
  }
  if (request.Field("transfer-encoding") != nullptr) {
    return Refused(400, "a request body is not accepted");
  }
  if (const std::string* length = request.Field("content-length");
      length != nullptr && *length != "0") {
    return Refused(400, "a request body is not accepted");
  }
  parse.outcome = RequestParse::Outcome::kDone;
  parse.headSize = headSize;
  return parse;
}

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) {
        return std::nullopt;
      }
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) {
        return std::nullopt;
      }
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<Target> ParseTarget(std::string_view target) {
  Target out;
  const std::size_t question = target.find('?');
  auto path = PercentDecode(target.substr(0, question), false);
  if (!path || path->empty() || path->front() != '/' || path->find('\0') != std::string::npos) {
    return std::nullopt;
  }
  out.path = std::move(*path);
  if (question == std::string_view::npos) {
    return out;
  }
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) {
      continue;
    }
    const std::size_t equals = pair.find('=');
    auto name = PercentDecode(pair.substr(0, equals), true);
    auto value = PercentDecode(
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
    if (!name || !value) {
      return std::nullopt;
    }
    out.query.emplace(std::move(*name), std::move(*value));
  }
  return out;
}

}  // namespace brivane::gateway
