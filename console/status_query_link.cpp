#include "console/status_query_link.h"

#include <QNetworkDatagram>

#include "common/udp_wire.h"
#include "console/console_texts.h"

namespace brivane {

StatusQueryLink::StatusQueryLink(QObject* parent) : QObject(parent) {
  connect(&socket_, &QUdpSocket::readyRead, this, &StatusQueryLink::ReadDatagrams);
}

StatusQueryLink::~StatusQueryLink() {
  if (lookupId_ != -1) {
    QHostInfo::abortHostLookup(lookupId_);
  }
}

void StatusQueryLink::SetTarget(const QString& host, quint16 port) {
  if (lookupId_ != -1) {
    QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
  }
  host_ = host;
  port_ = port;
  address_.reset();
  sendWaiting_ = false;
  QHostAddress literal;
  if (literal.setAddress(host)) {
    address_ = literal;
  }
}

void StatusQueryLink::SendStatusRequest() {
  if (address_) {
    Send();
    return;
  }
  sendWaiting_ = true;
  if (lookupId_ == -1) {
    lookupId_ = QHostInfo::lookupHost(host_, this, &StatusQueryLink::HostLookedUp);
  }
}

void StatusQueryLink::HostLookedUp(const QHostInfo& info) {
  if (info.lookupId() != lookupId_) {
    return;
  }
  lookupId_ = -1;
  // The service answers on IPv4, so an IPv4 address of the host is preferred.
  const auto addresses = info.addresses();
  for (const QHostAddress& candidate : addresses) {
    if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
      address_ = candidate;
      break;
    }
  }
  if (!address_ && !addresses.isEmpty()) {
    address_ = addresses.front();
  }
  if (!address_) {
    sendWaiting_ = false;
    emit sendFailed(kHostNotResolved, info.errorString());
    return;
  }
  if (sendWaiting_) {
    Send();
  }
}

void StatusQueryLink::Send() {
  sendWaiting_ = false;
  if (socket_.state() == QAbstractSocket::UnconnectedState && !socket_.bind(QHostAddress::Any, 0)) {
    emit sendFailed(static_cast<int>(socket_.error()), socket_.errorString());
    return;
  }
  const qint64 sent = socket_.writeDatagram(
      kStatusRequest.data(), static_cast<qint64>(kStatusRequest.size()), *address_, port_);
  if (sent < 0) {
    emit sendFailed(static_cast<int>(socket_.error()), socket_.errorString());
  }
}

void StatusQueryLink::ReadDatagrams() {
  while (socket_.hasPendingDatagrams()) {
    const QNetworkDatagram datagram = socket_.receiveDatagram();
    if (!datagram.isValid()) {
      break;  // a read that fails is dropped; the socket's own errors call for nothing
    }
    emit datagramArrived(datagram.data());
  }
}

}  // namespace brivane
