#pragma once
// The frame of every tool window: a subwindow of the main window's MDI area
// that hosts one CToolView. It takes its title from the view's document,
// refuses to close while the view has greyed its Close item, restores the
// tool's saved placement when first activated and saves it when it closes.
#include <QMdiSubWindow>
#include <QRect>

namespace netrove {

class CToolView;

class CMyMDIChildWnd : public QMdiSubWindow {
  Q_OBJECT

 public:
  // Takes ownership of the view. `typeName` names the tool's settings key.
  CMyMDIChildWnd(CToolView* view, QString typeName, QWidget* parent = nullptr);

  CToolView* toolView() const { return view_; }
  const QString& typeName() const { return typeName_; }

 signals:
  // The window accepted a close and is about to go away.
  void closing(CMyMDIChildWnd* window);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void restorePlacementOnce();
  void rememberNormalGeometry();

  CToolView* view_;
  QString typeName_;
  QRect normalGeometry_;
  bool placementRestored_ = false;
};

}  // namespace netrove
