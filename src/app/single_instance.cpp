#include "app/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace netrove {
namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
const QByteArray kRaiseAnswer = QByteArrayLiteral("ok\n");

}  // namespace

QString SingleInstanceName() {
  QString name = QString::fromLatin1(kSingleInstanceClassName) + QString::number(getuid());
  const QByteArray home = qgetenv("NETROVE_HOME");
  if (!home.isEmpty()) {
    name += QLatin1Char('-') +
            QString::fromLatin1(
                QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12));
  }
  return name;
}

CSingleInstance::CSingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

CSingleInstance::~CSingleInstance() {
  if (server_ != nullptr) server_->close();
}

bool CSingleInstance::askRunningCopyToRaise(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The answer tells that a live copy, not a stale socket, took the request.
  while (socket.bytesAvailable() < kRaiseAnswer.size()) {
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  }
  return socket.readAll().startsWith(kRaiseAnswer);
}

CSingleInstance::Claim CSingleInstance::claim(int timeoutMs) {
  if (askRunningCopyToRaise(timeoutMs)) return Claim::AlreadyRunning;
  if (listen()) return Claim::First;
  // Another copy may have started at the same moment.
  if (askRunningCopyToRaise(timeoutMs)) return Claim::AlreadyRunning;
  // A copy that crashed leaves its socket file behind: nobody answers on
  // it, so it may be taken over.
  QLocalServer::removeServer(name_);
  return listen() ? Claim::First : Claim::Failed;
}

bool CSingleInstance::listen() {
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &CSingleInstance::acceptRequests);
  }
  return server_->listen(name_);
}

void CSingleInstance::acceptRequests() {
  while (QLocalSocket* client = server_->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
      if (!client->canReadLine()) return;
      if (client->readLine() == kRaiseRequest) {
        client->write(kRaiseAnswer);
        client->flush();
        emit raiseRequested();
      }
      client->disconnectFromServer();
    });
  }
}

}  // namespace netrove
