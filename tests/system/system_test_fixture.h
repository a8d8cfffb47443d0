#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/system/systemd_namespace.h"

namespace brivane::testing {

// Each test gets a freshly booted systemd of its own, torn down however the test ends.
class SystemdNamespaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string skipReason;
    std::string failure;
    system_ = SystemdNamespace::Boot(skipReason, failure);
    if (!system_) {
      if (!skipReason.empty()) {
        GTEST_SKIP() << skipReason;
      }
      FAIL() << failure;
    }
  }

  void TearDown() override { system_.reset(); }

  static std::filesystem::path BuiltProgram(const std::string& name) {
    const char* folder = std::getenv("BRIVANE_BIN_DIR");
    return std::filesystem::path(folder != nullptr ? folder : ".") / name;
  }

  // The service checks as seen from inside, by root or by the user nobody.
  std::string Probe(const std::vector<std::string>& arguments, bool asNobody = false) const {
    std::vector<std::string> argv;
    if (asNobody) {
      argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    argv.push_back(BuiltProgram("brivane-service-probe").string());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto result = system_->Run(argv);
    auto& text = result.out;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    return text;
  }

  bool ServiceRunning() const { return Probe({"running", "Brivane"}) == "true"; }

  bool ServiceProcessGone() const {
    return system_->Run({"pgrep", "-x", "BrivaneSvc"}).exitStatus == 1;
  }

  // The unit runs and its default ports answer: the greeting on TCP, the status on UDP.
  void ExpectServing() const {
    using namespace std::chrono_literals;
    ASSERT_TRUE(WaitFor([&] { return ServiceRunning(); }, 15s))
        << system_->Run({"systemctl", "status", "--no-pager", "Brivane.service"}).out;
    std::string greeting;
    EXPECT_TRUE(WaitFor(
        [&] {
          greeting = Probe({"tcp", "8467"});
          return !greeting.empty();
        },
        10s));
    EXPECT_EQ(greeting.rfind("Brivane Pro v1.0.0 - ", 0), 0u) << greeting;
    std::string status;
    EXPECT_TRUE(WaitFor(
        [&] {
          status = Probe({"udp", "8466", "SvcCon"});
          return !status.empty();
        },
        10s));
    EXPECT_EQ(status.rfind("\nSVCL1.0.0,", 0), 0u) << status;
  }

  // Writes a unit into the system's /etc/systemd/system and has systemd read it.
  void AddUnit(const std::string& name, const std::string& text) const {
    const auto file = system_->Exchange() / name;
    {
      std::ofstream out(file);
      out << text;
    }
    const auto result = system_->Shell("cp '" + file.string() + "' /etc/systemd/system/" + name +
                                       " && systemctl daemon-reload");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
  }

  std::unique_ptr<SystemdNamespace> system_;
};

}  // namespace brivane::testing
