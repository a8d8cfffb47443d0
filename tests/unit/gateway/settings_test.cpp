#include <gtest/gtest.h>
#include <sys/stat.h>

#include "gateway/settings/command_line.h"
#include "gateway/settings/gateway_settings.h"
#include "tests/support/temp_folder.h"

namespace brivane::gateway {
namespace {

using testkit::TempFolder;
using testkit::WriteFile;
using namespace std::chrono_literals;

CommandLine Line(const std::vector<std::string>& args) {
  auto parsed = ParseCommandLine(args);
  EXPECT_TRUE(parsed.line) << parsed.error;
  return parsed.line.value_or(CommandLine{});
}

SettingsContext Context(const TempFolder& folder) {
  SettingsContext context;
  context.defaultFile = folder / "gateway.ini";
  context.hostName = "Solar-Shed.local";
  return context;
}

TEST(GatewaySettings, DefaultsFileAndFlagsInThatOrder) {
  TempFolder folder;
  // No default file at all: the defaults.
  auto loaded = LoadSettings(Line({}), Context(folder));
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->bridge, (HostPort{"127.0.0.1", 8467}));
  EXPECT_EQ(loaded.settings->site, "solar-shed_local");
  ASSERT_TRUE(loaded.settings->mqtt);
  EXPECT_EQ(loaded.settings->mqtt->broker, (HostPort{"127.0.0.1", 1883}));
  EXPECT_EQ(loaded.settings->mqtt->topicPrefix, "brivane");
  EXPECT_EQ(loaded.settings->mqtt->discoveryPrefix, "homeassistant");
  EXPECT_EQ(loaded.settings->interval, 10s);

  WriteFile(folder / "gateway.ini",
            "[gateway]\nbridge = 10.0.0.5\nSite=cabin\n[MQTT]\nBroker=[::1]:1884\n"
            "TopicPrefix=solar/mate\nDiscoveryPrefix=\nInterval=0\nUsername=me\n");
  loaded = LoadSettings(Line({}), Context(folder));
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->bridge, (HostPort{"10.0.0.5", 8467}));
  EXPECT_EQ(loaded.settings->site, "cabin");
  EXPECT_EQ(loaded.settings->mqtt->broker, (HostPort{"::1", 1884}));
  EXPECT_EQ(loaded.settings->mqtt->topicPrefix, "solar/mate");
  EXPECT_EQ(loaded.settings->mqtt->discoveryPrefix, "");
  EXPECT_EQ(loaded.settings->mqtt->username, "me");
  EXPECT_FALSE(loaded.settings->mqtt->password);
  EXPECT_EQ(loaded.settings->interval, 0s);

  loaded = LoadSettings(
      Line({"--bridge=host:9000", "--site", "barn", "--interval", "30", "--broker", "mq.example"}),
      Context(folder));
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->bridge, (HostPort{"host", 9000}));
  EXPECT_EQ(loaded.settings->site, "barn");
  EXPECT_EQ(loaded.settings->interval, 30s);
  EXPECT_EQ(loaded.settings->mqtt->broker, (HostPort{"mq.example", 1883}));

  // An empty broker turns MQTT off.
  loaded = LoadSettings(Line({"--broker", ""}), Context(folder));
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_FALSE(loaded.settings->mqtt);
}

TEST(GatewaySettings, BadValuesNameFileSectionKeyAndValue) {
  TempFolder folder;
  const auto file = (folder / "gateway.ini").string();
  const auto errorFor = [&](const std::string& text, std::vector<std::string> args = {}) {
    WriteFile(folder / "gateway.ini", text);
    const auto loaded = LoadSettings(Line(args), Context(folder));
    EXPECT_FALSE(loaded.settings) << text;
    return loaded.error;
  };
  EXPECT_EQ(errorFor("[MQTT]\nInterval=ten\n"),
            file +
                ", section [MQTT], key Interval: \"ten\" is not a number of seconds from 0 "
                "to 86400");
  EXPECT_EQ(errorFor("[Gateway]\nBridge=host:70000\n"),
            file +
                ", section [Gateway], key Bridge: \"host:70000\" is not HOST[:PORT] with a "
                "port from 1 to 65535");
  EXPECT_NE(errorFor("[Gateway]\nSite=my site\n").find("key Site: \"my site\""), std::string::npos);
  EXPECT_NE(errorFor("[MQTT]\nTopicPrefix=a/#\n").find("key TopicPrefix: \"a/#\""),
            std::string::npos);
  EXPECT_NE(errorFor("[MQTT]\nCAFile=/nonexistent/ca.pem\n").find("key CAFile"), std::string::npos);
  EXPECT_NE(errorFor("[MQTT]\nBroker=a b\n").find("key Broker: \"a b\""), std::string::npos);
  EXPECT_EQ(errorFor("", {"--interval", "-1"}),
            "--interval: \"-1\" is not a number of seconds from 0 to 86400");
  EXPECT_FALSE(ParseCommandLine({"--bridge"}).line);
  EXPECT_FALSE(ParseCommandLine({"--colour", "red"}).line);

  // A --config file that is not there is an error; the default one may be missing.
  const auto missing =
      LoadSettings(Line({"--config", (folder / "none.ini").string()}), Context(folder));
  EXPECT_FALSE(missing.settings);
  EXPECT_NE(missing.error.find("none.ini"), std::string::npos);
}

TEST(GatewaySettings, PasswordFileOnlyForItsOwnerOrFromTheServiceManager) {
  TempFolder folder;
  const auto passwordFile = folder / "mqtt-password";
  WriteFile(passwordFile, "s3cret\nignored\n");
  WriteFile(folder / "gateway.ini", "[MQTT]\nPasswordFile=" + passwordFile.string() + "\n");

  chmod(passwordFile.c_str(), 0644);
  auto loaded = LoadSettings(Line({}), Context(folder));
  ASSERT_FALSE(loaded.settings);
  EXPECT_NE(loaded.error.find("key PasswordFile: \"" + passwordFile.string() +
                              "\" can be read by other users"),
            std::string::npos)
      << loaded.error;

  chmod(passwordFile.c_str(), 0600);
  loaded = LoadSettings(Line({}), Context(folder));
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->mqtt->password, "s3cret");

  // systemd's credential wins over the file named in the settings.
  std::filesystem::create_directory(folder / "credentials");
  WriteFile(folder / "credentials" / "mqtt-password", "from-systemd");
  auto context = Context(folder);
  context.credentialsDirectory = folder / "credentials";
  chmod(passwordFile.c_str(), 0644);
  loaded = LoadSettings(Line({}), context);
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->mqtt->password, "from-systemd");
}

TEST(HostPort, FormsAndSiteNames) {
  EXPECT_EQ(ParseHostPort(" broker ", 1883), (HostPort{"broker", 1883}));
  EXPECT_EQ(ParseHostPort("[fe80::1]", 1), (HostPort{"fe80::1", 1}));
  EXPECT_EQ(ParseHostPort("[fe80::1]:2", 1)->Text(), "[fe80::1]:2");
  for (const char* bad : {"", ":1", "h:", "h:0", "h:65536", "h:1x", "[::1", "[::1]x", "a b"}) {
    EXPECT_FALSE(ParseHostPort(bad, 1)) << bad;
  }
  EXPECT_EQ(SiteFromHostName("Pi-4.Home"), "pi-4_home");
  EXPECT_EQ(SiteFromHostName(""), "brivane");
}

}  // namespace
}  // namespace brivane::gateway

namespace brivane::gateway {
namespace {

TEST(GatewaySettings, HistoryAndWebPlacesAndTheirBadValues) {
  TempFolder folder;
  std::filesystem::create_directories(folder / "bin" / "web");
  SettingsContext context;
  context.defaultFile = folder / "gateway.ini";
  // Nothing set: the state directory's database, the web files beside the program.
  context.stateDirectory = folder / "state";
  context.executableDirectory = folder / "bin";
  auto loaded = LoadSettings({}, context);
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->history.path, folder / "state" / "history.db");
  EXPECT_EQ(loaded.settings->history.days, 400);
  ASSERT_TRUE(loaded.settings->web);
  EXPECT_EQ(loaded.settings->web->listen, (HostPort{"0.0.0.0", 8480}));
  EXPECT_EQ(loaded.settings->web->files, folder / "bin" / "web");
  // Installed: no state directory given, no web folder beside the program.
  context.stateDirectory.reset();
  context.executableDirectory = folder / "elsewhere";
  loaded = LoadSettings({}, context);
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->history.path, "history.db");
  EXPECT_EQ(loaded.settings->web->files, kInstalledWebFiles);

  WriteFile(folder / "gateway.ini",
            "[History]\nPath=/x/h.db\nDays=30\n[Web]\nListen=[::]:9000\n"
            "Files=" +
                (folder / "bin").string() + "\n");
  loaded = LoadSettings({}, context);
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_EQ(loaded.settings->history.path, "/x/h.db");
  EXPECT_EQ(loaded.settings->history.days, 30);
  EXPECT_EQ(loaded.settings->web->listen, (HostPort{"::", 9000}));
  EXPECT_EQ(loaded.settings->web->files, folder / "bin");

  WriteFile(folder / "gateway.ini", "[Web]\nListen=\n");
  loaded = LoadSettings({}, context);
  ASSERT_TRUE(loaded.settings) << loaded.error;
  EXPECT_FALSE(loaded.settings->web);

  for (const char* bad :
       {"[History]\nDays=0\n", "[History]\nDays=ten\n", "[Web]\nListen=pi.local:80\n",
        "[Web]\nListen=0.0.0.0:0\n", "[Web]\nFiles=/no/such/folder\n"}) {
    WriteFile(folder / "gateway.ini", bad);
    loaded = LoadSettings({}, context);
    EXPECT_FALSE(loaded.settings) << bad;
    EXPECT_NE(loaded.error.find("gateway.ini, section ["), std::string::npos) << loaded.error;
  }
}

}  // namespace
}  // namespace brivane::gateway
