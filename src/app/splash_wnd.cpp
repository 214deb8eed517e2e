#include "app/splash_wnd.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "app/maker_name_label.h"
#include "app/shell_strings.h"
#include "base/product.h"

namespace netrove {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsPress(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
      return true;
    default:
      return false;
  }
}

}  // namespace

CSplashWnd::CSplashWnd(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* maker = new CMakerNameLabel(this);
  maker->setMinimumSize(360, 64);
  auto* version = new QLabel(Text(kVersionLine), this);
  auto* notice = new QLabel(Text(kLegalNotice), this);
  version->setAlignment(Qt::AlignCenter);
  notice->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->addWidget(maker);
  layout->addWidget(version);
  layout->addWidget(notice);
  setAutoFillBackground(true);
}

CSplashWnd::~CSplashWnd() {
  if (watching_) qApp->removeEventFilter(this);
}

void CSplashWnd::showFor(QWidget* over, int milliseconds) {
  adjustSize();
  if (over != nullptr) move(over->geometry().center() - rect().center());
  show();
  qApp->installEventFilter(this);
  watching_ = true;
  timer_.start(milliseconds, this);
}

void CSplashWnd::dismiss() {
  if (!isVisible() && !watching_) return;
  timer_.stop();
  if (watching_) qApp->removeEventFilter(this);
  watching_ = false;
  hide();
  emit dismissed();
}

bool CSplashWnd::eventFilter(QObject* watched, QEvent* event) {
  if (IsPress(event->type())) dismiss();
  return QWidget::eventFilter(watched, event);
}

void CSplashWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId()) {
    dismiss();
    return;
  }
  QWidget::timerEvent(event);
}

}  // namespace netrove
