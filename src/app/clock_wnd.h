#pragma once
// The main window's client area: the MDI area that hosts the tool windows,
// painted cyan with a fan of orange lines and, while the clock is on, the
// time in its upper-right quarter.
#include <QBasicTimer>
#include <QFont>
#include <QMdiArea>
#include <QRect>
#include <functional>
#include <string>

namespace netrove {

class CClockWnd : public QMdiArea {
  Q_OBJECT

 public:
  using TimeSource = std::function<std::string()>;

  explicit CClockWnd(QWidget* parent = nullptr);

  // Starts or stops the one-second clock; stopping erases the time at once.
  void setClockShown(bool on);
  bool isClockShown() const { return clockShown_; }
  // Replaces the local time (screenshots, tests).
  void setTimeSource(TimeSource source) { timeSource_ = std::move(source); }

  QRect clockRect() const { return clockRect_; }
  // The fitted font's pixel height; 0 for the default height.
  int clockFontHeight() const { return clockFontHeight_; }

 signals:
  // A right click on the client area: the main window's help.
  void helpRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void fitClockFont();
  QFont clockFont(int pixelHeight) const;

  QBasicTimer clockTimer_;
  TimeSource timeSource_;
  bool clockShown_ = false;
  QRect clockRect_;
  QFont font_;
  int clockFontHeight_ = 0;
};

}  // namespace netrove
