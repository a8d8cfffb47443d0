// brivane-gateway: BrivaneSvc's records decoded and published to MQTT.
#include <unistd.h>

#include <asio.hpp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/version.h"
#include "gateway/app/gateway_log.h"
#include "gateway/app/notify.h"
#include "gateway/core/bridge_client.h"
#include "gateway/core/gateway_core.h"
#include "gateway/history/history_output.h"
#include "gateway/history/history_store.h"
#include "gateway/mqtt/mqtt_output.h"
#include "gateway/settings/gateway_settings.h"
#include "gateway/web/web_output.h"

namespace brivane::gateway {
namespace {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) {
    return "";
  }
  return name;
}

SettingsContext Context() {
  SettingsContext context;
  context.hostName = HostName();
  if (const char* credentials = std::getenv("CREDENTIALS_DIRECTORY")) {
    context.credentialsDirectory = credentials;
  }
  // systemd lists several folders with ':' between them when the unit names several.
  if (const char* state = std::getenv("STATE_DIRECTORY"); state != nullptr && *state != '\0') {
    const std::string folders = state;
    context.stateDirectory = folders.substr(0, folders.find(':'));
  }
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    context.executableDirectory = self.parent_path();
  }
  return context;
}

int Run(const GatewaySettings& settings) {
  asio::io_context io(1);
  const LogFn log = WriteLog;
  GatewayCore core(io, settings.silence, log);

  // Nothing about the history stops the gateway: without a database it just keeps none.
  HistoryStore store(log);
  std::unique_ptr<HistoryOutput> history;
  if (store.Open(settings.history.path)) {
    history = std::make_unique<HistoryOutput>(io, store, settings.history.days);
    history->Start();
    core.AddOutput(*history);
  }

  std::unique_ptr<WebOutput> web;
  if (settings.web) {
    WebOutputSettings output;
    output.address = settings.web->listen.host;
    output.port = settings.web->listen.port;
    output.files = settings.web->files;
    output.site = settings.site;
    output.version = std::string(kVersionText);
    web = std::make_unique<WebOutput>(io, std::move(output), core,
                                      store.IsOpen() ? &store : nullptr, log);
    std::string error;
    if (!web->Start(error)) {
      log(LogLevel::kError, error);
      return 1;
    }
    core.AddOutput(*web);
    log(LogLevel::kInfo, "dashboard on http://" + settings.web->listen.Text() + "/ from " +
                             settings.web->files.string());
  }

  std::unique_ptr<MqttOutput> mqtt;
  if (settings.mqtt) {
    MqttOutputSettings output;
    output.connection.broker = settings.mqtt->broker;
    output.connection.clientId = "brivane-gateway-" + settings.site;
    output.connection.username = settings.mqtt->username;
    output.connection.password = settings.mqtt->password;
    output.connection.caFile = settings.mqtt->caFile;
    output.connection.certFile = settings.mqtt->certFile;
    output.connection.keyFile = settings.mqtt->keyFile;
    output.names.topicPrefix = settings.mqtt->topicPrefix;
    output.names.discoveryPrefix = settings.mqtt->discoveryPrefix;
    output.names.site = settings.site;
    output.interval = settings.interval;
    output.refresh = settings.refresh;
    output.version = std::string(kVersionText);
    output.connectionChanged = [&core](bool connected) {
      core.OnBroker(connected ? BrokerState::kConnected : BrokerState::kDisconnected);
    };
    core.OnBroker(BrokerState::kDisconnected);
    mqtt = std::make_unique<MqttOutput>(io, std::move(output), core.Registry(), log);
    std::string error;
    if (!mqtt->Start(error)) {
      log(LogLevel::kError, error);
      return 1;
    }
    core.AddOutput(*mqtt);
  } else {
    log(LogLevel::kInfo, "no MQTT broker set: nothing is published");
  }

  BridgeClient bridge(io, settings.bridge,
                      BridgeClient::Handlers{
                          [&core] { core.OnBridgeConnected(); },
                          [&core] { core.OnBridgeLost(); },
                          [&core](std::string record) { core.OnRecord(record); },
                      },
                      log);
  bridge.Start();

  ServiceNotify notify(io);
  asio::signal_set signals(io, SIGTERM, SIGINT);
  signals.async_wait([&](const asio::error_code& error, int) {
    if (error) {
      return;
    }
    notify.Stopping();
    bridge.Stop();
    core.Stop();
    // Whatever the outputs queued goes out before the loop ends.
    asio::post(io, [&io] { io.stop(); });
  });
  asio::post(io, [&notify] { notify.Ready(); });
  io.run();
  return 0;
}

int Main(int argc, char** argv) {
  const auto parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.line) {
    std::fprintf(stderr, "brivane-gateway: %s\n%s", parsed.error.c_str(), kUsage);
    return 1;
  }
  if (parsed.line->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const auto loaded = LoadSettings(*parsed.line, Context());
  if (!loaded.settings) {
    WriteLog(LogLevel::kError, loaded.error);
    return 1;
  }
  return Run(*loaded.settings);
}

}  // namespace
}  // namespace brivane::gateway

int main(int argc, char** argv) {
  return brivane::gateway::Main(argc, argv);
}
