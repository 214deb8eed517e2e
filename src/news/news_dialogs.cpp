#include "news/news_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "base/command_ids.h"
#include "news/news_settings.h"
#include "widgets/certificate_trust_dialog.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/message_boxes.h"

namespace netrove {
namespace {

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

class CRealNewsDialogs : public INewsDialogs {
 public:
  std::optional<QString> askServer(QWidget* owner, const QString& current) override {
    CHostPromptDlg dialog(QStringLiteral("NNTP..."), CommandHelpContext(kCmdNewsreader), owner);
    // OK starts the connection, and puts the server at the head of the list.
    dialog.useRecentHosts(std::string(kNntpToolName));
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setText(current);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.hostText();
  }

  bool askRefreshList(QWidget* owner) override {
    return AskPlainYesNo(
        owner, QStringLiteral("Refresh the List"),
        QStringLiteral("Refresh the list of valid newsgroups and associated information from the "
                       "server?\n\nNote: Since this operation retrieves a complete list of "
                       "newsgroups, it may take several minutes to complete."));
  }

  std::optional<long> askHeaderCount(QWidget* owner, long proposed, long maximum) override {
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Retrieving Article Headers"));
    auto* count = new QSpinBox(&dialog);
    count->setRange(0, static_cast<int>(std::min<long>(maximum, INT_MAX)));
    count->setValue(static_cast<int>(std::min<long>(proposed, INT_MAX)));
    auto* row = new QHBoxLayout;
    row->addWidget(PlainLabel(QStringLiteral("Do you want to retrieve"), &dialog));
    row->addWidget(count);
    row->addWidget(PlainLabel(QStringLiteral("article headers?"), &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return count->value();
  }

  std::optional<QString> askFindText(QWidget* owner, const QString& current) override {
    bool ok = false;
    const QString text =
        QInputDialog::getText(owner, QStringLiteral("Find"), QStringLiteral("Find what:"),
                              QLineEdit::Normal, current, &ok);
    if (!ok) return std::nullopt;
    return text;
  }

  std::optional<QString> askPassword(QWidget* owner, const QString& user,
                                     const QString& server) override {
    bool ok = false;
    const QString password = QInputDialog::getText(
        owner, QStringLiteral("Sign In"), QStringLiteral("Password of %1 at %2:").arg(user, server),
        QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return password;
  }

  bool askTrust(QWidget* owner, const TlsHandshakeReport& report, const QString& host) override {
    return AskToTrustCertificate(owner, report, host.toStdString());
  }

  void information(QWidget* owner, const QString& caption, const QString& text) override {
    ShowPlainInformation(owner, caption, text);
  }

  void beep(bool) override { QApplication::beep(); }
};

}  // namespace

INewsDialogs& RealNewsDialogs() {
  static CRealNewsDialogs dialogs;
  return dialogs;
}

}  // namespace netrove
