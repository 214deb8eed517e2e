#include "app/customize.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "widgets/customize_page.h"
#include "widgets/shell_context.h"
#include "widgets/tab_order.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {

CCustomize::CCustomize(IShellContext& shell,
                       const std::array<CustomizePageFactory, kCustomizeTabCount>& pageFactories,
                       QWidget* parent)
    : QDialog(parent), shell_(shell), tabs_(new QTabWidget(this)) {
  setWindowTitle(QStringLiteral("Customize"));
  // Modal to the main window only: the help it opens is a window of its own
  // and stays usable beside the sheet.
  setWindowModality(Qt::WindowModal);
  for (std::size_t tab = 0; tab < pageFactories.size(); ++tab) {
    if (!pageFactories[tab]) continue;
    CCustomizePage* page = pageFactories[tab](shell);
    if (page == nullptr) continue;
    // Ordered once the page is in the sheet, which rebuilds its focus chain.
    tabs_->addTab(page, CustomizeTabCaption(static_cast<CustomizeTab>(tab)));
    ApplyLayoutTabOrder(page);
  }
  // Every tab in view at once: the sheet is as wide as its tabs, no scroll
  // arrows hide some of them.
  tabs_->setUsesScrollButtons(false);
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
  // Enter in any field closes the sheet, whatever push button a page has
  // (otherwise the first one, such as "Address...", would take Enter).
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::helpRequested, this, [this] {
    if (CCustomizePage* current = page(tabs_->currentIndex())) showHelp(current->helpContext());
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

CCustomizePage* CCustomize::page(int index) const {
  return qobject_cast<CCustomizePage*>(tabs_->widget(index));
}

void CCustomize::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    showHelp(kHelpCustomize);
    return;
  }
  QDialog::keyPressEvent(event);
}

void CCustomize::contextMenuEvent(QContextMenuEvent* event) {
  showHelp(kHelpCustomize);
  event->accept();
}

void CCustomize::showHelp(int contextId) { shell_.toolServices().showHelp(contextId); }

}  // namespace netrove
