#pragma once
// The FTP window's TLS choice (Plain, TLS if offered, TLS required, implicit
// TLS), on the Login tab and the FTP page of Customize alike: it shows the
// stored choice ("TLS if offered" for a new user) and stores a change at
// once, so the next connection and the command line use it too.
#include <QComboBox>

#include "base/tls.h"

namespace netrove {

class IMainWindowReporter;

class CFtpTlsChoice : public QComboBox {
  Q_OBJECT

 public:
  CFtpTlsChoice(IMainWindowReporter* reporter, QWidget* parent = nullptr);
  TlsMode mode() const;
  void setMode(TlsMode mode);
  // Shows the stored choice again (another page may have changed it).
  void load();

 private:
  void store(int index);

  IMainWindowReporter* reporter_;
};

}  // namespace netrove
