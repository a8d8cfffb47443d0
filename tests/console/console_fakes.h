#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

#include "console/console_desktop.h"
#include "console/service_checks.h"

// Stand-ins for the service manager and the desktop, so the window can be driven
// through every state without systemd and without a message box waiting for a click.
namespace brivane {

class FakeServiceChecks : public ServiceChecks {
 public:
  enum class State { NotInstalled, Stopped, Running };

  State state = State::NotInstalled;
  int existsCalls = 0;
  int runningCalls = 0;
  int startCalls = 0;
  int stopCalls = 0;

  bool Exists() override {
    ++existsCalls;
    return state != State::NotInstalled;
  }
  bool Running() override {
    ++runningCalls;
    return state == State::Running;
  }
  void Start() override { ++startCalls; }
  void Stop() override { ++stopCalls; }
};

class FakeDesktop : public ConsoleDesktop {
 public:
  struct Message {
    Icon icon;
    QString title;
    QString text;
  };

  std::vector<Message> messages;
  std::vector<QUrl> openedUrls;
  bool browserWorks = true;
  int endProgramCalls = 0;

  void ShowMessage(QWidget*, Icon icon, const QString& title, const QString& text) override {
    messages.push_back({icon, title, text});
  }
  bool OpenUrl(const QUrl& url) override {
    openedUrls.push_back(url);
    return browserWorks;
  }
  void EndProgram() override { ++endProgramCalls; }
};

}  // namespace brivane
