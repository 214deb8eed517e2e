#include "shell/customize.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/command_ids.h"
#include "shell/customize_page.h"
#include "shell/shell_context.h"
#include "shell/tool_catalog.h"
#include "shell/tool_view.h"

namespace netrove {

CCustomize::CCustomize(IShellContext& shell, const std::vector<CustomizePageSlot>& pageSlots,
                       QWidget* parent)
    : QDialog(parent), shell_(shell), tabs_(new QTabWidget(this)) {
  setWindowTitle(QStringLiteral("Customize"));
  for (const CustomizePageSlot& slot : pageSlots) {
    if (!slot.create) continue;
    CCustomizePage* page = slot.create(shell);
    if (page != nullptr) tabs_->addTab(page, slot.caption);
  }
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
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
