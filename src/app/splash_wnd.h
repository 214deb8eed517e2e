#pragma once
// The window shown once after start-up: the maker's name, the product and
// its version, and the legal notice. Any key or mouse press anywhere in the
// program, or the end of its time, dismisses it.
#include <QBasicTimer>
#include <QWidget>

namespace netrove {

inline constexpr int kSplashMilliseconds = 5000;

class CSplashWnd : public QWidget {
  Q_OBJECT

 public:
  explicit CSplashWnd(QWidget* parent = nullptr);
  ~CSplashWnd() override;

  // Shows the window centred on `over` and starts its time.
  void showFor(QWidget* over, int milliseconds = kSplashMilliseconds);
  void dismiss();

 signals:
  void dismissed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QBasicTimer timer_;
  bool watching_ = false;
};

}  // namespace netrove
