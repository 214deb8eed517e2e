#pragma once
// One running copy per user: the first copy listens on a local socket named
// after the main window's class and the user; a later start connects, asks
// the running copy to raise itself and ends.
#include <QObject>
#include <QString>

class QLocalServer;

namespace netrove {

inline constexpr const char* kSingleInstanceClassName = "__NetroveSingleInstanceClass__";

// The class name and the user; a copy with its own NETROVE_HOME (portable
// use, tests) gets a name of its own.
QString SingleInstanceName();

class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit CSingleInstance(QString name, QObject* parent = nullptr);
  ~CSingleInstance() override;

  enum class Claim { First, AlreadyRunning, Failed };
  // Asks a running copy to raise itself, or becomes the running copy.
  Claim claim(int timeoutMs = 1000);
  // True when a running copy answered and was asked to raise itself.
  bool askRunningCopyToRaise(int timeoutMs) const;

 signals:
  // A later start asked this copy to come to the front.
  void raiseRequested();

 private:
  bool listen();
  void acceptRequests();

  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace netrove
