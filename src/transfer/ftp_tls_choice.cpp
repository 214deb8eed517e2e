#include "transfer/ftp_tls_choice.h"

#include <QSignalBlocker>
#include <cerrno>
#include <iterator>

#include "base/settings_store.h"
#include "base/tool_message.h"
#include "transfer/ftp_connection.h"

namespace netrove {

CFtpTlsChoice::CFtpTlsChoice(IMainWindowReporter* reporter, QWidget* parent)
    : QComboBox(parent), reporter_(reporter) {
  for (const TlsMode mode : kFtpTlsChoices)
    addItem(QString::fromUtf8(FtpTlsChoiceLabel(mode).data(),
                              static_cast<int>(FtpTlsChoiceLabel(mode).size())));
  setToolTip(QStringLiteral(
      "TLS if offered: AUTH TLS, going on in plain text where the server refuses it.\n"
      "TLS required: AUTH TLS, or nothing more is sent.\n"
      "Implicit TLS: TLS from the first byte, usually on port 990."));
  load();
  connect(this, &QComboBox::currentIndexChanged, this, &CFtpTlsChoice::store);
}

TlsMode CFtpTlsChoice::mode() const {
  const int index = currentIndex();
  return index >= 0 && index < static_cast<int>(std::size(kFtpTlsChoices)) ? kFtpTlsChoices[index]
                                                                           : TlsMode::IfOffered;
}

void CFtpTlsChoice::setMode(TlsMode mode) {
  for (int i = 0; i < static_cast<int>(std::size(kFtpTlsChoices)); ++i) {
    if (kFtpTlsChoices[i] == mode) setCurrentIndex(i);
  }
}

void CFtpTlsChoice::load() {
  TlsMode stored = TlsMode::IfOffered;
  std::string text;
  if (const auto key = OpenToolKey("FTP", false); key && key->ReadText("TLS", text))
    stored = TlsModeFromName(text).value_or(stored);
  const QSignalBlocker blocker(this);
  setMode(stored);
}

void CFtpTlsChoice::store(int) {
  auto key = CreateToolKey("FTP");
  if ((!key || !key->WriteText("TLS", std::string(TlsModeName(mode())))) && reporter_)
    reporter_->PostSystemError(errno);
}

}  // namespace netrove
