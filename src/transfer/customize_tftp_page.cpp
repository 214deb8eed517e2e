#include "transfer/customize_tftp_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "base/settings_store.h"
#include "base/tftp_server_control.h"
#include "transfer/tftp_settings.h"

namespace netrove {
namespace {

constexpr int kLogRefreshMilliseconds = 1000;

}  // namespace

CCustomizeTFTP::CCustomizeTFTP(ITftpServer* server, QWidget* parent)
    : CCustomizePage(std::string(kTftpKeyName), parent),
      server_(server),
      startBox_(new QCheckBox(QStringLiteral("Start the Server."))),
      allowCreateBox_(new QCheckBox(QStringLiteral("Allow clients to create files."))),
      folderEdit_(new QLineEdit),
      folderButton_(new QPushButton(QStringLiteral("Browse..."))),
      portField_(new QSpinBox),
      logView_(new QPlainTextEdit),
      clientTimeoutField_(new QSpinBox) {
  auto* serverGroup = new QGroupBox(QStringLiteral("Server Settings"));
  auto* serverLayout = new QGridLayout(serverGroup);
  serverLayout->addWidget(startBox_, 0, 0, 1, 3);
  serverLayout->addWidget(new QLabel(QStringLiteral("Served folder:")), 1, 0);
  serverLayout->addWidget(folderEdit_, 1, 1);
  serverLayout->addWidget(folderButton_, 1, 2);
  serverLayout->addWidget(new QLabel(QStringLiteral("Port:")), 2, 0);
  serverLayout->addWidget(portField_, 2, 1, Qt::AlignLeft);
  serverLayout->addWidget(allowCreateBox_, 3, 0, 1, 3);
  // Folder, port and creation take effect when the server next starts.
  serverLayout->addWidget(new QLabel(QStringLiteral("Changes apply when the server starts.")), 6, 0,
                          1, 3);
  serverLayout->addWidget(new QLabel(QStringLiteral("Server log:")), 4, 0, 1, 3);
  serverLayout->addWidget(logView_, 5, 0, 1, 3);
  auto* windowGroup = new QGroupBox(QStringLiteral("Window Settings"));
  auto* windowLayout = new QGridLayout(windowGroup);
  windowLayout->addWidget(new QLabel(QStringLiteral("Give up on a silent server after:")), 0, 0);
  windowLayout->addWidget(clientTimeoutField_, 0, 1, Qt::AlignLeft);
  // Options make large transfers much faster, but some servers refuse a
  // request that carries any: none is asked for unless chosen here.
  blockSizeField_ = addOptionField(windowLayout, 1, QStringLiteral("Block size (bytes):"),
                                   static_cast<int>(kTftpLargestBlockSize), kValueClientBlockSize);
  windowSizeField_ =
      addOptionField(windowLayout, 2, QStringLiteral("Window size (blocks):"),
                     static_cast<int>(kTftpLargestWindowSize), kValueClientWindowSize);
  rexmtField_ = addOptionField(windowLayout, 3, QStringLiteral("Retransmission time-out (s):"),
                               static_cast<int>(kTftpLongestOptionTimeout), kValueClientRexmt);
  windowLayout->addWidget(createSizeAndPositionBox(), 4, 0, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(serverGroup);
  layout->addWidget(windowGroup);

  folderEdit_->setReadOnly(true);
  portField_->setRange(1, 65535);
  clientTimeoutField_->setRange(1, static_cast<int>(kLongestTftpClientTimeout));
  clientTimeoutField_->setSuffix(QStringLiteral(" s"));
  logView_->setReadOnly(true);
  startBox_->setEnabled(server_ != nullptr);

  connect(startBox_, &QCheckBox::clicked, this, &CCustomizeTFTP::switchServer);
  bindCheckBox(allowCreateBox_, kValueAllowCreate);
  connect(portField_, &QSpinBox::valueChanged, this,
          [this](int port) { writeDword(kValueServerPort, static_cast<std::uint32_t>(port)); });
  connect(clientTimeoutField_, &QSpinBox::valueChanged, this, [this](int seconds) {
    writeDword(kValueClientTimeout, static_cast<std::uint32_t>(seconds));
  });
  connect(folderButton_, &QPushButton::clicked, this, &CCustomizeTFTP::browseFolder);
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, &CCustomizeTFTP::refreshLog);
  timer->start(kLogRefreshMilliseconds);
}

QSpinBox* CCustomizeTFTP::addOptionField(QGridLayout* layout, int row, const QString& label,
                                         int highest, std::string_view valueName) {
  auto* field = new QSpinBox;
  field->setRange(0, highest);
  field->setSpecialValueText(QStringLiteral("Not asked"));
  layout->addWidget(new QLabel(label), row, 0);
  layout->addWidget(field, row, 1, Qt::AlignLeft);
  connect(field, &QSpinBox::valueChanged, this, [this, valueName](int value) {
    writeDword(valueName, static_cast<std::uint32_t>(value));
  });
  return field;
}

int CCustomizeTFTP::helpContext() const { return CommandHelpContext(kCmdTftp); }

void CCustomizeTFTP::loadSettings() {
  const TftpServerSettings settings = ReadTftpServerSettings();
  {
    const QSignalBlocker blocker(portField_);
    portField_->setValue(settings.port);
  }
  {
    const QSignalBlocker blocker(clientTimeoutField_);
    clientTimeoutField_->setValue(static_cast<int>(ReadTftpClientTimeout()));
  }
  const TftpOptions options = ReadTftpClientOptions();
  for (const auto& [field, value] :
       {std::pair{blockSizeField_, options.blockSize},
        std::pair{windowSizeField_, options.windowSize},
        std::pair{rexmtField_, static_cast<std::size_t>(options.timeoutSeconds)}}) {
    const QSignalBlocker blocker(field);
    field->setValue(static_cast<int>(value));
  }
  folderEdit_->setText(QString::fromStdString(settings.folder.string()));
  loadCheckBox(allowCreateBox_, kValueAllowCreate);
  const QSignalBlocker blocker(startBox_);
  startBox_->setChecked(server_ != nullptr && server_->IsRunning());
  refreshLog();
}

void CCustomizeTFTP::switchServer(bool on) {
  if (server_ == nullptr) return;
  if (on) {
    // The server reports why it could not start; the box then stays clear.
    if (!server_->Start()) {
      const QSignalBlocker blocker(startBox_);
      startBox_->setChecked(false);
      refreshLog();
      return;
    }
  } else {
    server_->Stop();
  }
  writeDword(kValueIsServerEnable, on ? 1u : 0u);
  refreshLog();
}

QString CCustomizeTFTP::chooseFolder(const QString& current) {
  return QFileDialog::getExistingDirectory(this, QStringLiteral("Served folder"), current);
}

void CCustomizeTFTP::browseFolder() {
  const QString chosen = chooseFolder(folderEdit_->text());
  if (chosen.isEmpty()) return;
  auto key = CreateToolKey(kTftpKeyName);
  if (key && key->WriteText(kValueServerFolder, chosen.toStdString())) folderEdit_->setText(chosen);
}

void CCustomizeTFTP::refreshLog() {
  if (server_ == nullptr) return;
  QStringList lines;
  for (const std::string& line : server_->LogLines()) lines << QString::fromStdString(line);
  const QString text = lines.join(QLatin1Char('\n'));
  if (logView_->toPlainText() != text) logView_->setPlainText(text);
}

}  // namespace netrove
