#include "console/service_watcher.h"

#include <utility>

namespace brivane {

ServiceWatcher::ServiceWatcher(ServiceChecks& checks, QObject* parent)
    : QObject(parent), checks_(checks), worker_(new QObject) {
  thread_.setObjectName(QStringLiteral("service checks"));
  worker_->moveToThread(&thread_);
  thread_.start();
}

ServiceWatcher::~ServiceWatcher() {
  OnChecksThread([this] { thread_.quit(); });
  thread_.wait();
  delete worker_;
}

void ServiceWatcher::OnChecksThread(std::function<void()> call) {
  QMetaObject::invokeMethod(worker_, std::move(call), Qt::QueuedConnection);
}

void ServiceWatcher::Read() {
  if (reading_) {
    return;
  }
  reading_ = true;
  OnChecksThread([this] {
    const ServiceState state = checks_.Read();
    QMetaObject::invokeMethod(
        this,
        [this, state] {
          reading_ = false;
          emit stateRead(state);
        },
        Qt::QueuedConnection);
  });
}

void ServiceWatcher::Start() {
  OnChecksThread([this] { checks_.Start(); });
}

void ServiceWatcher::Stop() {
  OnChecksThread([this] { checks_.Stop(); });
}

}  // namespace brivane
