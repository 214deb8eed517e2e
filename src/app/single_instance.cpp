#include "app/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstring>

namespace netrove {
namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
const QByteArray kRaiseAnswer = QByteArrayLiteral("ok\n");

// A folder only this user may enter: a real folder (not a link), owned by the
// user, with no rights for group or others.
bool IsPrivateFolder(const QByteArray& path) {
  struct stat info {};
  return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
         info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

QByteArray CacheFolder() {
  const QByteArray cache = qgetenv("XDG_CACHE_HOME");
  if (cache.startsWith('/')) return cache;
  return QDir::homePath().toLocal8Bit() + "/.cache";
}

// The user of the process at the other end of a connected local socket.
bool PeerIsThisUser(int descriptor) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
         credentials.uid == ::getuid();
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads until the running copy's answer is complete or the time is up.
bool AwaitAnswer(int fd, int answerWaitMs) {
  QByteArray answer;
  QElapsedTimer elapsed;
  elapsed.start();
  while (answer.size() < kRaiseAnswer.size()) {
    const auto left = static_cast<int>(answerWaitMs - elapsed.elapsed());
    pollfd wait{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&wait, 1, left) <= 0) return false;
    char chunk[16];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    answer.append(chunk, static_cast<qsizetype>(got));
  }
  return answer.startsWith(kRaiseAnswer);
}

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

QString SingleInstanceFolder(QString* problem) {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (runtime.startsWith('/') && IsPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
  const QByteArray cache = CacheFolder();
  QDir().mkpath(QString::fromLocal8Bit(cache));
  const QByteArray own = cache + "/netrove-run";
  ::mkdir(own.constData(), 0700);
  struct stat info {};
  // A folder of the user's own that a loose umask left open is closed.
  if (::lstat(own.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid()) {
    ::chmod(own.constData(), 0700);
  }
  if (IsPrivateFolder(own)) return QString::fromLocal8Bit(own);
  *problem = QStringLiteral(
                 "Netrove cannot start: the folder %1 for its running-copy socket is not a "
                 "folder of your own that only you can enter.")
                 .arg(QString::fromLocal8Bit(own));
  return {};
}

CSingleInstance::CSingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

CSingleInstance::~CSingleInstance() {
  if (server_ != nullptr) server_->close();
}

CSingleInstance::Probe CSingleInstance::probeRunningCopy(int answerWaitMs) const {
  const QByteArray path = path_.toLocal8Bit();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return Probe::NoCopy;
  std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
  Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return Probe::NoCopy;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    // A full queue of waiting connections still means someone listens.
    return errno == EAGAIN ? Probe::Silent : Probe::NoCopy;
  }
  if (!PeerIsThisUser(fd.get())) return Probe::Foreign;
  if (::send(fd.get(), kRaiseRequest.constData(), static_cast<std::size_t>(kRaiseRequest.size()),
             MSG_NOSIGNAL) != kRaiseRequest.size()) {
    return Probe::Silent;
  }
  return AwaitAnswer(fd.get(), answerWaitMs) ? Probe::Answered : Probe::Silent;
}

CSingleInstance::Claim CSingleInstance::claim(int answerWaitMs) {
  if (name_.startsWith(QLatin1Char('/'))) {
    path_ = name_;
  } else {
    const QString folder = SingleInstanceFolder(&problem_);
    if (folder.isEmpty()) return Claim::Failed;
    path_ = folder + QLatin1Char('/') + name_;
  }
  const Probe first = probeRunningCopy(answerWaitMs);
  if (first != Probe::NoCopy) return claimFromProbe(first);
  if (listen()) return Claim::First;
  // Another copy may have started at the same moment.
  const Probe second = probeRunningCopy(answerWaitMs);
  if (second != Probe::NoCopy) return claimFromProbe(second);
  // Nobody listens on the file: a copy that crashed left it behind.
  QLocalServer::removeServer(path_);
  if (listen()) return Claim::First;
  problem_ = QStringLiteral("Netrove cannot start: its running-copy socket %1 cannot be opened.")
                 .arg(path_);
  return Claim::Failed;
}

CSingleInstance::Claim CSingleInstance::claimFromProbe(Probe probe) {
  switch (probe) {
    case Probe::Answered:
      return Claim::AlreadyRunning;
    case Probe::Foreign:
      problem_ =
          QStringLiteral("Netrove cannot start: the socket %1 belongs to another user.").arg(path_);
      return Claim::Failed;
    case Probe::Silent:
    case Probe::NoCopy:
      break;
  }
  problem_ = QStringLiteral(
      "Netrove is already running but does not answer. Wait until it responds, or end it, and "
      "start Netrove again.");
  return Claim::Failed;
}

bool CSingleInstance::listen() {
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &CSingleInstance::acceptRequests);
  }
  return server_->listen(path_);
}

void CSingleInstance::acceptRequests() {
  while (QLocalSocket* client = server_->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (!PeerIsThisUser(static_cast<int>(client->socketDescriptor()))) {
      client->abort();
      client->deleteLater();
      continue;
    }
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
