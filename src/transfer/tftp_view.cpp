#include "transfer/tftp_view.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>

#include "base/command_ids.h"
#include "base/network_settings.h"
#include "transfer/tftp_runner.h"
#include "transfer/tftp_settings.h"
#include "widgets/address_book_dialog.h"
#include "widgets/message_boxes.h"
#include "widgets/recent_host_box.h"

namespace netrove {
namespace {

const QString kBrowseCaption = QStringLiteral("Browse Files");
// "All Files" first: the other extensions mean little on Linux.
const QString kFileFilters = QStringLiteral(
    "All Files (*);;C/C++ Files (*.c *.cpp *.cxx);;Include Files (*.h *.hpp *.hxx *.inl);;"
    "Resource Files (*.rc *.rct *.res);;Image Files (*.bmp *.dib *.ico *.cur);;"
    "Executable Files (*.exe *.dll *.ocx)");
// The room the selection of files for deletion has.
constexpr qsizetype kSelectionRoom = 6144;

QRadioButton* AddRadio(QVBoxLayout* layout, const char* label) {
  auto* button = new QRadioButton(QString::fromLatin1(label));
  layout->addWidget(button);
  return button;
}

// The user's download folder (XDG_DOWNLOAD_DIR), or the home folder when
// there is none.
QString DownloadFolder() {
  const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (!downloads.isEmpty() && QDir(downloads).exists()) return downloads;
  return QDir::homePath();
}

}  // namespace

// Brings the worker's progress to the GUI thread. Byte counts are coalesced:
// only the latest figures are shown, with one queued call at a time.
class CTftpView::Progress : public ITftpProgress {
 public:
  explicit Progress(CTftpView& view) : view_(view) {}
  void OnInProgress() override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->showStatus(QStringLiteral("In Progress"), false); },
        Qt::QueuedConnection);
  }
  void OnBytesTransferred(std::uint64_t bytes, std::uint32_t elapsed) override {
    bytes_.store(bytes);
    elapsed_.store(elapsed);
    if (queued_.exchange(true)) return;
    QMetaObject::invokeMethod(
        &view_,
        [this] {
          queued_.store(false);
          view_.showTransfer(bytes_.load(), elapsed_.load());
        },
        Qt::QueuedConnection);
  }

 private:
  CTftpView& view_;
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<std::uint32_t> elapsed_{0};
  std::atomic<bool> queued_{false};
};

// Brings the worker's finished notice to the GUI thread; a notice still
// queued when the view goes is dropped with it.
class CTftpView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CTftpView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onFinished(); }, Qt::QueuedConnection);
  }

 private:
  CTftpView& view_;
};

CTftpView::CTftpView(CToolServices& services, QWidget* parent)
    : CToolView(services, parent),
      hostBox_(new CRecentHostBox(std::string(kTftpKeyName))),
      addressButton_(new QPushButton(QStringLiteral("Address..."))),
      remoteEdit_(new QLineEdit),
      localEdit_(new QLineEdit),
      sendBrowseButton_(new QPushButton(QStringLiteral("Browse..."))),
      statusField_(new QLabel),
      transferField_(new QLabel),
      startButton_(new QPushButton(QStringLiteral("Get"))),
      closeButton_(new QPushButton(QStringLiteral("Close"))),
      deleteBrowseButton_(new QPushButton(QStringLiteral("Browse..."))),
      progress_(std::make_unique<Progress>(*this)),
      finished_(std::make_unique<FinishedRelay>(*this)),
      client_(std::make_unique<CTftpClientRun>(services.reporter(), progress_.get(), *finished_)) {
  auto* direction = new QGroupBox(QStringLiteral("Get/Send"));
  auto* directionLayout = new QVBoxLayout(direction);
  getButton_ = AddRadio(directionLayout, "Get a file from the remote machine (Get).");
  putButton_ = AddRadio(directionLayout, "Send a file to the remote machine (Put).");
  auto* mode = new QGroupBox(QStringLiteral("Transfer Mode"));
  auto* modeLayout = new QVBoxLayout(mode);
  asciiButton_ = AddRadio(modeLayout, "ASCII (text) mode.");
  binaryButton_ = AddRadio(modeLayout, "Binary mode.");

  auto* remote = new QGroupBox(QStringLiteral("Remote Host"));
  auto* remoteLayout = new QGridLayout(remote);
  remoteLayout->addWidget(new QLabel(QStringLiteral("Host Name:")), 0, 0);
  remoteLayout->addWidget(hostBox_, 0, 1);
  remoteLayout->addWidget(addressButton_, 0, 2);
  remoteLayout->addWidget(new QLabel(QStringLiteral("File Name:")), 1, 0);
  remoteLayout->addWidget(remoteEdit_, 1, 1, 1, 2);
  auto* local = new QGroupBox(QStringLiteral("Local Host"));
  auto* localLayout = new QGridLayout(local);
  localLayout->addWidget(new QLabel(QStringLiteral("File Name:")), 0, 0);
  localLayout->addWidget(localEdit_, 0, 1);
  localLayout->addWidget(sendBrowseButton_, 0, 2);
  auto* status = new QGroupBox(QStringLiteral("Status"));
  auto* statusLayout = new QGridLayout(status);
  statusLayout->addWidget(statusField_, 0, 0, 1, 2);
  statusLayout->addWidget(new QLabel(QStringLiteral("Transfer:")), 1, 0);
  statusLayout->addWidget(transferField_, 1, 1);
  // Texts from the network and the file system are never taken for markup.
  statusField_->setTextFormat(Qt::PlainText);
  transferField_->setTextFormat(Qt::PlainText);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(startButton_);
  buttons->addWidget(closeButton_);
  buttons->addWidget(deleteBrowseButton_);
  buttons->addStretch();
  auto* choices = new QHBoxLayout;
  choices->addWidget(direction);
  choices->addWidget(mode);
  auto* fields = new QVBoxLayout;
  fields->addLayout(choices);
  fields->addWidget(remote);
  fields->addWidget(local);
  fields->addWidget(status);
  fields->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(fields, 1);
  layout->addLayout(buttons);

  startButton_->setDefault(true);
  getButton_->setChecked(true);
  asciiButton_->setChecked(true);
  showPutMode(false);
  showStatus(QStringLiteral("Idle"), false);
  setDocumentTitle(QStringLiteral("Trivial File Transfer Protocol (TFTP)"));

  connect(getButton_, &QRadioButton::toggled, this, [this](bool get) { showPutMode(!get); });
  connect(startButton_, &QPushButton::clicked, this, &CTftpView::start);
  connect(closeButton_, &QPushButton::clicked, this, &CTftpView::closeOrInterrupt);
  connect(addressButton_, &QPushButton::clicked, this, &CTftpView::pickHost);
  connect(sendBrowseButton_, &QPushButton::clicked, this, &CTftpView::browseFileToSend);
  connect(deleteBrowseButton_, &QPushButton::clicked, this, &CTftpView::deleteFiles);
}

// The window is not closed while busy; a transfer still running when it goes
// all the same is ended first, by the client's destructor.
CTftpView::~CTftpView() = default;

int CTftpView::helpContext() const { return CommandHelpContext(kCmdTftp); }

QLineEdit* CTftpView::hostEdit() const { return hostBox_->lineEdit(); }

void CTftpView::showPutMode(bool put) {
  startButton_->setText(put ? QStringLiteral("Put") : QStringLiteral("Get"));
  // Put sends a file picked with the second "Browse...": the name is not typed.
  sendBrowseButton_->setVisible(put);
  localEdit_->setReadOnly(put);
  localEdit_->setEnabled(!put);
}

bool CTftpView::checkInputs() {
  const bool put = putButton_->isChecked();
  for (QLineEdit* edit : {remoteEdit_, hostEdit(), localEdit_}) {
    if (!edit->text().trimmed().isEmpty()) continue;
    if (edit == localEdit_ && put) {
      sendBrowseButton_->setFocus();
    } else {
      edit->setFocus();
    }
    return false;
  }
  return true;
}

void CTftpView::start() {
  if (isBusy() || !checkInputs()) return;
  TftpClientRequest request;
  if (!SplitTftpHost(hostEdit()->text().trimmed().toStdString(), request.host, request.port)) {
    QApplication::beep();
    hostBox_->setFocus();
    return;
  }
  request.opcode = putButton_->isChecked() ? kTftpWrq : kTftpRrq;
  request.mode = binaryButton_->isChecked() ? TftpMode::Octet : TftpMode::Netascii;
  request.remoteName = remoteEdit_->text().trimmed().toStdString();
  // A relative name is not left to the program's working folder, which the
  // user cannot see: it goes to the download folder, and the field shows
  // the full path the file is written to.
  const QString local = localEdit_->text().trimmed();
  if (!putButton_->isChecked() && QDir::isRelativePath(local)) {
    localEdit_->setText(QDir::cleanPath(QDir(DownloadFolder()).absoluteFilePath(local)));
  }
  request.localName = localEdit_->text().trimmed().toStdString();
  request.giveUpMs = static_cast<std::int32_t>(ReadTftpClientTimeout() * 1000);
  request.options = ReadTftpClientOptions();
  request.families = ReadNetworkSettings().families;

  setInputsEnabled(false);
  closeButton_->setText(QStringLiteral("Interrupt"));
  closeButton_->setFocus();
  setCloseEnabled(false);
  setBusy(true);
  showStatus(QStringLiteral("Connecting..."), false);
  showTransfer(0, 0);
  // No thread: reported to the main window, and the transfer ends at once.
  if (!client_->Start(request)) {
    onFinished();
    return;
  }
  hostBox_->rememberCurrentHost();
}

void CTftpView::setInputsEnabled(bool enabled) {
  const bool put = putButton_->isChecked();
  for (QWidget* input : std::initializer_list<QWidget*>{
           getButton_, putButton_, asciiButton_, binaryButton_, hostBox_, addressButton_,
           remoteEdit_, startButton_, deleteBrowseButton_}) {
    input->setEnabled(enabled);
  }
  localEdit_->setEnabled(enabled && !put);
  sendBrowseButton_->setEnabled(enabled && put);
}

void CTftpView::closeOrInterrupt() {
  if (!isBusy()) {
    emit closeRequested();
    return;
  }
  client_->Interrupt();
}

void CTftpView::onFinished() {
  client_->Join();
  const bool completed = client_->Completed();
  showStatus(completed ? QStringLiteral("Completed") : QStringLiteral("Aborted"), !completed);
  setInputsEnabled(true);
  closeButton_->setText(QStringLiteral("Close"));
  startButton_->setFocus();
  setCloseEnabled(true);
  setBusy(false);
}

void CTftpView::showStatus(const QString& status, bool failed) {
  statusField_->setText(status);
  QPalette palette = statusField_->palette();
  palette.setColor(
      QPalette::WindowText,
      failed ? QColor(255, 0, 0) : QApplication::palette(statusField_).color(QPalette::WindowText));
  statusField_->setPalette(palette);
}

void CTftpView::showTransfer(std::uint64_t bytes, std::uint32_t elapsedMilliseconds) {
  transferField_->setText(
      QString::fromStdString(FormatTftpTransferLine(bytes, elapsedMilliseconds)));
}

void CTftpView::pickHost() {
  const auto address =
      PickAddressFromBook(this, [this](int contextId) { services().showHelp(contextId); });
  if (address) hostBox_->setEditText(*address);
}

QString CTftpView::chooseFileToSend() {
  return QFileDialog::getOpenFileName(this, kBrowseCaption, {}, kFileFilters);
}

QStringList CTftpView::chooseFilesForDeletion() {
  return QFileDialog::getOpenFileNames(
      this, kBrowseCaption + QStringLiteral(" - Select the File(s) for Deletion"), {},
      kFileFilters);
}

bool CTftpView::confirmDeletion(const QString& path) {
  return AskPlainYesNo(this, kBrowseCaption,
                       QStringLiteral("Are you sure you want to delete '%1'?").arg(path));
}

void CTftpView::browseFileToSend() {
  const QString chosen = chooseFileToSend();
  if (!chosen.isEmpty()) localEdit_->setText(chosen);
}

void CTftpView::deleteFiles() {
  const QStringList chosen = chooseFilesForDeletion();
  qsizetype room = 0;
  for (const QString& path : chosen) room += path.size() + 1;
  if (room > kSelectionRoom) {
    services().reporter().PostToolMessage(kSourceTftp, "Too many files have been selected!");
    return;
  }
  for (const QString& path : chosen) {
    if (!confirmDeletion(path)) continue;
    if (std::remove(path.toLocal8Bit().constData()) != 0) {
      services().reporter().PostSystemError(errno);
    }
  }
}

}  // namespace netrove
