#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <optional>

// The console's UDP socket: sends the status request to the watched service and
// receives its replies on the same local port, which the socket layer picks on the
// first send. A host given by name is resolved first, without blocking the window.
namespace brivane {

class StatusQueryLink : public QObject {
  Q_OBJECT

 public:
  explicit StatusQueryLink(QObject* parent = nullptr);
  ~StatusQueryLink() override;

  void SetTarget(const QString& host, quint16 port);
  QString TargetHost() const { return host_; }
  quint16 TargetPort() const { return port_; }

  // Sends "SvcCon" now, or as soon as the host's address is known.
  void SendStatusRequest();

  // 0 until the first send.
  quint16 LocalPort() const { return socket_.localPort(); }

 signals:
  void datagramArrived(const QByteArray& datagram);
  // number is 10014 for a host whose address cannot be determined.
  void sendFailed(int number, const QString& description);

 private:
  void HostLookedUp(const QHostInfo& info);
  void Send();
  void ReadDatagrams();

  QUdpSocket socket_;
  QString host_;
  quint16 port_ = 0;
  std::optional<QHostAddress> address_;
  int lookupId_ = -1;
  bool sendWaiting_ = false;
};

}  // namespace brivane
