#pragma once
// SIGTERM and SIGINT (a session's end, `kill`, Ctrl+C in the starting
// terminal) turned into a request on the GUI thread, so the program can end
// in order instead of dying with its placement unsaved and its workers cut
// off. The handler only writes a byte to a socket pair; the notifier reads it
// on the event loop.
#include <QObject>

class QSocketNotifier;

namespace netrove {

class CTerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one object at a time. The destructor puts the
  // previous handlers back.
  explicit CTerminationSignals(QObject* parent = nullptr);
  ~CTerminationSignals() override;
  CTerminationSignals(const CTerminationSignals&) = delete;
  CTerminationSignals& operator=(const CTerminationSignals&) = delete;

 signals:
  void terminationRequested(int signalNumber);

 private:
  void readPending();

  int ends_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace netrove
