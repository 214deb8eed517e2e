#pragma once
// The Customize sheet: one tab per tool page plus the general page. Pages
// write their values as they change, so OK and Cancel only close the sheet.
#include <QDialog>
#include <array>
#include <functional>

#include "widgets/tool_catalog.h"

class QTabWidget;

namespace netrove {

class CCustomizePage;
class IShellContext;

class CCustomize : public QDialog {
  Q_OBJECT

 public:
  // Creates the pages of the tabs that have a factory, in tab order.
  CCustomize(IShellContext& shell,
             const std::array<CustomizePageFactory, kCustomizeTabCount>& pageFactories,
             QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabs_; }
  CCustomizePage* page(int index) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void showHelp(int contextId);

  IShellContext& shell_;
  QTabWidget* tabs_;
};

}  // namespace netrove
