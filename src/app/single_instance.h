#pragma once
// One running copy per user: the first copy listens on a local socket named
// after the main window's class and the user; a later start connects, asks
// the running copy to raise itself and ends.
//
// The socket lives in a folder only the user can enter ($XDG_RUNTIME_DIR, or
// a private folder under the user's cache folder), and both ends check that
// the other runs as the same user, so another local user can neither stop the
// program from starting nor pose as the running copy. A socket that accepts
// connections belongs to a live copy and is never removed, however slowly
// that copy answers; only a file nobody listens on is taken over.
#include <QObject>
#include <QString>

class QLocalServer;

namespace netrove {

inline constexpr const char* kSingleInstanceClassName = "__NetroveSingleInstanceClass__";
// How long a later start waits for a busy running copy to answer.
inline constexpr int kRunningCopyAnswerWaitMs = 10000;

// The class name and the user; a copy with its own NETROVE_HOME (portable
// use, tests) gets a name of its own.
QString SingleInstanceName();

// The folder of the socket: $XDG_RUNTIME_DIR when it is a folder of the
// user's own that nobody else may enter, else $XDG_CACHE_HOME/netrove-run
// (default ~/.cache/netrove-run), created with mode 0700. Empty, with
// `problem` set, when neither is private.
QString SingleInstanceFolder(QString* problem);

class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  // `name` is a file name in SingleInstanceFolder(), or an absolute path.
  explicit CSingleInstance(QString name, QObject* parent = nullptr);
  ~CSingleInstance() override;

  enum class Claim { First, AlreadyRunning, Failed };
  // Asks a running copy to raise itself, or becomes the running copy. On
  // Failed, problem() says why, as the user should read it.
  Claim claim(int answerWaitMs = kRunningCopyAnswerWaitMs);
  QString problem() const { return problem_; }
  // The socket's path once claim() has run.
  QString socketPath() const { return path_; }

 signals:
  // A later start asked this copy to come to the front.
  void raiseRequested();

 private:
  enum class Probe { NoCopy, Answered, Silent, Foreign };
  Probe probeRunningCopy(int answerWaitMs) const;
  Claim claimFromProbe(Probe probe);
  bool listen();
  void acceptRequests();

  QString name_;
  QString path_;
  QString problem_;
  QLocalServer* server_ = nullptr;
};

}  // namespace netrove
