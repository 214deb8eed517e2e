#include "app/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "app/help_topics.h"

namespace netrove {
namespace {

QString PageFile(std::string_view page) {
  return QString::fromLatin1(page.data(), static_cast<qsizetype>(page.size())) +
         QStringLiteral(".html");
}

}  // namespace

QString HelpFolder() {
  const QByteArray configured = qgetenv("NETROVE_HELP_DIR");
  if (!configured.isEmpty()) return QString::fromLocal8Bit(configured);
  const QString programFolder = QCoreApplication::applicationDirPath();
  // Only a program that runs from its build folder reads the sources: an
  // installed copy shows the pages it was installed with.
  const QString buildFolder = QStringLiteral(NETROVE_BUILD_DIR);
  const QString sourceFolder = QStringLiteral(NETROVE_SOURCE_HELP_DIR);
  if (programFolder.startsWith(buildFolder + QLatin1Char('/')) && QFileInfo(sourceFolder).isDir())
    return sourceFolder;
  const QString besideProgram =
      QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral(NETROVE_HELP_FROM_BIN)));
  if (QFileInfo(besideProgram).isDir()) return besideProgram;
  return QStringLiteral(NETROVE_INSTALLED_HELP_DIR);
}

CHelpWindow::CHelpWindow(QString folder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      folder_(std::move(folder)),
      browser_(new QTextBrowser(this)),
      indexKey_(new QLineEdit(this)) {
  setWindowTitle(QStringLiteral("Netrove Help"));
  browser_->setSearchPaths({folder_});
  browser_->setOpenExternalLinks(true);

  auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
  auto* back = new QPushButton(QStringLiteral("&Back"), this);
  auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
  indexKey_->setPlaceholderText(QStringLiteral("Index: type a word"));
  connect(contents, &QPushButton::clicked, this, &CHelpWindow::showContents);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
  connect(indexKey_, &QLineEdit::textEdited, this, [this](const QString& key) { showIndex(key); });
  back->setEnabled(false);
  forward->setEnabled(false);

  auto* bar = new QHBoxLayout;
  bar->addWidget(contents);
  bar->addWidget(back);
  bar->addWidget(forward);
  bar->addWidget(indexKey_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(browser_);
  resize(560, 480);
}

void CHelpWindow::showContext(int contextId) {
  const std::string_view page = HelpPageForContext(contextId);
  if (page.empty()) {
    browser_->setHtml(QStringLiteral("<html><body><h1>Help</h1><p>No help topic has the context "
                                     "0x%1.</p><p><a href=\"%2\">Contents</a></p></body></html>")
                          .arg(QString::number(contextId, 16), PageFile(kHelpContentsPage)));
    present();
    return;
  }
  showPage(PageFile(page));
}

void CHelpWindow::showContents() { showPage(PageFile(kHelpContentsPage)); }

void CHelpWindow::showIndex(const QString& key) {
  const auto text = [this](std::string_view page) { return pageText(PageFile(page)); };
  browser_->setHtml(QString::fromStdString(HelpIndexHtml(key.toStdString(), text)));
  present();
}

// Read once: the index is searched again at every key the user types.
std::optional<std::string> CHelpWindow::pageText(const QString& page) {
  const auto cached = pageTexts_.find(page);
  if (cached != pageTexts_.end()) return cached->second;
  std::optional<std::string> text;
  QFile file(QDir(folder_).absoluteFilePath(page));
  if (file.open(QIODevice::ReadOnly)) {
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    text = document.toPlainText().toStdString();
  }
  pageTexts_.emplace(page, text);
  return text;
}

void CHelpWindow::showUsingHelp() { showPage(PageFile(kUsingHelpPage)); }

QString CHelpWindow::currentPage() const { return browser_->source().fileName(); }

void CHelpWindow::showPage(const QString& page) {
  const QString path = QDir(folder_).absoluteFilePath(page);
  if (QFileInfo::exists(path)) {
    browser_->setSource(QUrl::fromLocalFile(path));
  } else {
    browser_->setHtml(QStringLiteral("<html><body><h1>Help</h1><p>The help page %1 has not been "
                                     "written yet.</p></body></html>")
                          .arg(page.toHtmlEscaped()));
  }
  present();
}

void CHelpWindow::present() {
  show();
  raise();
  activateWindow();
}

}  // namespace netrove
