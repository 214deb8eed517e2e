#include "widgets/tab_order.h"

#include <QGridLayout>
#include <QLayout>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace netrove {
namespace {

bool TakesTabFocus(const QWidget* widget) {
  return (widget->focusPolicy() & Qt::TabFocus) != 0 || widget->focusProxy() != nullptr;
}

void CollectWidget(QWidget* widget, std::vector<QWidget*>& order);

// The items of a layout in reading order: a grid by row, then column.
std::vector<QLayoutItem*> ItemsInReadingOrder(QLayout* layout) {
  std::vector<QLayoutItem*> items;
  std::vector<std::pair<int, int>> cells;
  auto* grid = qobject_cast<QGridLayout*>(layout);
  for (int index = 0; index < layout->count(); ++index) {
    items.push_back(layout->itemAt(index));
    int row = 0;
    int column = index;
    if (grid != nullptr) {
      int rowSpan = 0;
      int columnSpan = 0;
      grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    }
    cells.emplace_back(row, column);
  }
  std::vector<std::size_t> indices(items.size());
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
  std::stable_sort(indices.begin(), indices.end(),
                   [&cells](std::size_t a, std::size_t b) { return cells[a] < cells[b]; });
  std::vector<QLayoutItem*> sorted;
  for (std::size_t i : indices) sorted.push_back(items[i]);
  return sorted;
}

void CollectLayout(QLayout* layout, std::vector<QWidget*>& order) {
  for (QLayoutItem* item : ItemsInReadingOrder(layout)) {
    if (QWidget* widget = item->widget()) {
      CollectWidget(widget, order);
    } else if (QLayout* inner = item->layout()) {
      CollectLayout(inner, order);
    }
  }
}

// A checkable group box takes focus itself and then its controls.
void CollectWidget(QWidget* widget, std::vector<QWidget*>& order) {
  if (TakesTabFocus(widget)) order.push_back(widget);
  if (QLayout* layout = widget->layout()) CollectLayout(layout, order);
}

}  // namespace

void ApplyLayoutTabOrder(QWidget* form) {
  if (form == nullptr || form->layout() == nullptr) return;
  std::vector<QWidget*> order;
  CollectLayout(form->layout(), order);
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace netrove
