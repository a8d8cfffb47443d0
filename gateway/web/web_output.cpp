#include "gateway/web/web_output.h"

#include <fstream>
#include <iterator>

#include "gateway/web/api_text.h"
#include "gateway/web/http_request.h"
#include "gateway/web/static_files.h"

namespace brivane::gateway {
namespace {

constexpr std::uintmax_t kLargestFile = 16 * 1024 * 1024;

HttpResponse Json(const nlohmann::json& body) {
  return HttpResponse{200, "application/json",
                      body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

HttpResponse Error(int status, std::string_view text) {
  return HttpResponse{status, "application/json", ErrorJson(text)};
}

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

WebOutput::WebOutput(asio::io_context& io, WebOutputSettings settings, const GatewayCore& core,
                     HistoryReader* history, LogFn log)
    : settings_(std::move(settings)),
      core_(core),
      history_(history),
      log_(log),
      server_(
          io,
          [this](const HttpRequest& request, const Target& target) {
            return Handle(request, target);
          },
          log, settings_.limits) {}

bool WebOutput::Start(std::string& error) {
  return server_.Start(settings_.address, settings_.port, error);
}

void WebOutput::OnState(const DeviceState& state) {
  SendDevice(state);
}

void WebOutput::OnAvailability(const DeviceState& state) {
  SendDevice(state);
}

void WebOutput::OnBridge(bool) {
  SendStatus();
}

void WebOutput::OnBroker(BrokerState) {
  SendStatus();
}

void WebOutput::Stop() {
  server_.Stop();
}

void WebOutput::SendDevice(const DeviceState& state) {
  if (server_.Streams() == 0) {
    return;
  }
  server_.Broadcast(EventText("state", DeviceJson(state, std::chrono::system_clock::now(),
                                                  std::chrono::steady_clock::now())));
}

void WebOutput::SendStatus() {
  if (server_.Streams() > 0) {
    server_.Broadcast(EventText("status", StatusJson(core_.BridgeConnected(), core_.Broker())));
  }
}

HttpResponse WebOutput::Handle(const HttpRequest&, const Target& target) {
  const std::string& path = target.path;
  if (path == "/api/state") {
    return Json(StateJson(settings_.site, settings_.version, core_.BridgeConnected(),
                          core_.Broker(), core_.Registry(), std::chrono::system_clock::now(),
                          std::chrono::steady_clock::now()));
  }
  if (path == "/api/history") {
    return History(target);
  }
  if (path == "/api/events") {
    return Events();
  }
  if (path == "/api" || path.starts_with("/api/")) {
    return Error(404, "no such API");
  }
  return File(path);
}

HttpResponse WebOutput::History(const Target& target) {
  const auto parsed = ParseHistoryQuery(target.query, UnixNow());
  if (!parsed.query) {
    return Error(400, parsed.error);
  }
  const HistoryQuery& query = *parsed.query;
  const DeviceState* live = core_.Registry().Find(query.device);
  if (live == nullptr && (history_ == nullptr || !history_->KnowsDevice(query.device))) {
    return Error(404, "unknown device");
  }
  const bool liveKey =
      live != nullptr && live->json.contains(query.key) && live->json[query.key].is_number();
  if (!liveKey && (history_ == nullptr || !history_->KnowsKey(query.key))) {
    return Error(404, "unknown key");
  }
  std::vector<HistoryPoint> points;
  if (history_ != nullptr) {
    points = history_->Query(query.device, query.key, query.from, query.to, query.points);
  }
  return Json(HistoryJson(query, points));
}

HttpResponse WebOutput::Events() {
  HttpResponse response{200, "text/event-stream; charset=utf-8", "", true};
  // The page has everything at once, then each change as it comes.
  response.body = EventText("status", StatusJson(core_.BridgeConnected(), core_.Broker()));
  const auto now = std::chrono::system_clock::now();
  const auto steadyNow = std::chrono::steady_clock::now();
  for (const auto& [name, state] : core_.Registry().States()) {
    response.body += EventText("state", DeviceJson(state, now, steadyNow));
  }
  return response;
}

HttpResponse WebOutput::File(const std::string& path) {
  const FileLookup found = FindStaticFile(settings_.files, path);
  if (!found.file) {
    return Error(found.status, found.status == 403 ? "outside the dashboard's files" : "not found");
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(*found.file, error);
  if (error || size > kLargestFile) {
    return Error(404, "not found");
  }
  std::ifstream in(*found.file, std::ios::binary);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    return Error(404, "not found");
  }
  HttpResponse response{200, ContentTypeFor(found.file->string()), std::move(body)};
  response.cache = true;
  return response;
}

}  // namespace brivane::gateway
