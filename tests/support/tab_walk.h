#pragma once
// Walking a window with Tab, and judging the walk against how the window
// reads: top to bottom, left to right, a group of controls (a group box, or
// a column or row the layout keeps together) read whole before the next.
// Header-only: the support library links no Qt.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLayout>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

namespace netrove::test {

namespace tab_walk_detail {

// The exclusive group a checkable button belongs to, if any. Tab stops at
// one button of such a group, the one that last had focus (the arrow keys
// move within the group), so the group is a single stop.
inline const QObject* ExclusiveGroupOf(const QWidget& widget) {
  const auto* button = qobject_cast<const QAbstractButton*>(&widget);
  if (button == nullptr || !button->isCheckable()) return nullptr;
  if (const QButtonGroup* group = button->group()) return group->exclusive() ? group : nullptr;
  return button->autoExclusive() ? button->parentWidget() : nullptr;
}

inline bool TakesTabFocus(const QWidget& widget, const QWidget& area) {
  return widget.isVisibleTo(&area) && widget.isEnabled() &&
         (widget.focusPolicy() & Qt::TabFocus) != 0 && widget.focusProxy() == nullptr;
}

}  // namespace tab_walk_detail

// The controls of `area` (the window, or one page of it) that Tab visits,
// in the order the window's focus chain visits them; an exclusive group of
// buttons by its first button.
inline std::vector<QWidget*> TabStops(QWidget& window, const QWidget& area) {
  using namespace tab_walk_detail;
  std::vector<QWidget*> stops;
  std::vector<const QObject*> groups;
  for (QWidget* widget = window.nextInFocusChain(); widget != &window;
       widget = widget->nextInFocusChain()) {
    if (!area.isAncestorOf(widget) || !TakesTabFocus(*widget, area)) continue;
    if (const QObject* group = ExclusiveGroupOf(*widget)) {
      if (std::find(groups.begin(), groups.end(), group) != groups.end()) continue;
      groups.push_back(group);
    }
    stops.push_back(widget);
  }
  return stops;
}

// The controls focus lands on when Tab is pressed `presses` times, starting
// with `first` focused (which is the walk's first entry).
inline std::vector<QWidget*> PressTab(QWidget& window, QWidget* first, std::size_t presses) {
  first->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> landed{window.focusWidget()};
  for (std::size_t press = 0; press < presses; ++press) {
    QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    landed.push_back(window.focusWidget());
  }
  return landed;
}

namespace tab_walk_detail {

// One box a control sits in: a widget, or a layout inside a widget's layout.
struct Box {
  const void* identity;
  QRect place;  // in the coordinates of the walked area
};

// The layouts inside `layout` that hold `widget`, innermost first.
inline bool EnclosingLayouts(QLayout* layout, const QWidget* widget, std::vector<QLayout*>& found) {
  for (int index = 0; index < layout->count(); ++index) {
    QLayoutItem* item = layout->itemAt(index);
    if (item->widget() == widget) return true;
    QLayout* inner = item->layout();
    if (inner != nullptr && EnclosingLayouts(inner, widget, found)) {
      found.push_back(inner);
      return true;
    }
  }
  return false;
}

// The boxes around `control` from the outermost inside `area` inward.
inline std::vector<Box> BoxesAround(QWidget* control, const QWidget& area) {
  std::vector<Box> boxes;
  for (QWidget* widget = control; widget != &area; widget = widget->parentWidget()) {
    QWidget* parent = widget->parentWidget();
    boxes.push_back({widget, QRect(parent->mapTo(&area, widget->pos()), widget->size())});
    std::vector<QLayout*> layouts;
    if (parent->layout() != nullptr) EnclosingLayouts(parent->layout(), widget, layouts);
    for (QLayout* layout : layouts) {
      const QRect inParent = layout->geometry();
      boxes.push_back({layout, QRect(parent->mapTo(&area, inParent.topLeft()), inParent.size())});
    }
  }
  return {boxes.rbegin(), boxes.rend()};
}

inline bool SameRow(const QRect& a, const QRect& b) {
  const auto within = [](int y, const QRect& r) { return y >= r.top() && y <= r.bottom(); };
  return within(b.center().y(), a) || within(a.center().y(), b);
}

// Whether `next` reads after `before`: further along the same row, or lower.
inline bool ReadsAfter(const QRect& before, const QRect& next) {
  if (SameRow(before, next)) return next.center().x() >= before.center().x();
  return next.center().y() > before.center().y();
}

// Whether `next` reads after `before`, judged between the outermost boxes
// that part the two controls: so a group is read whole, and a column beside
// another is read after it.
inline bool ReadsOn(QWidget* before, QWidget* next, const QWidget& area) {
  const std::vector<Box> outer = BoxesAround(before, area);
  const std::vector<Box> inner = BoxesAround(next, area);
  std::size_t parting = 0;
  while (parting + 1 < outer.size() && parting + 1 < inner.size() &&
         outer[parting].identity == inner[parting].identity) {
    ++parting;
  }
  return ReadsAfter(outer[parting].place, inner[parting].place);
}

}  // namespace tab_walk_detail

// A control as a failure names it: its class, and its object name if any.
// Any button of an exclusive group is named as the group, the stop it is.
inline std::string ControlName(const QWidget* widget) {
  const QString name = widget->objectName();
  const std::string kind = widget->metaObject()->className();
  if (tab_walk_detail::ExclusiveGroupOf(*widget) != nullptr) {
    return "a " + kind + " of the group in " + ControlName(widget->parentWidget());
  }
  return name.isEmpty() ? kind : kind + " " + name.toStdString();
}

// The steps of `stops` that go against reading order, as "A then B".
inline std::vector<std::string> StepsAgainstReading(const std::vector<QWidget*>& stops,
                                                    const QWidget& area) {
  std::vector<std::string> wrong;
  for (std::size_t i = 1; i < stops.size(); ++i) {
    if (!tab_walk_detail::ReadsOn(stops[i - 1], stops[i], area)) {
      wrong.push_back(ControlName(stops[i - 1]) + " then " + ControlName(stops[i]));
    }
  }
  return wrong;
}

// A whole window's stops as Tab cycles through them, from the control that
// reads first. Where the window itself sits in its focus chain is invisible
// to the user: Tab from the last control wraps round to the first.
inline std::vector<QWidget*> FromFirstInReading(std::vector<QWidget*> stops,
                                                const QWidget& window) {
  auto first = stops.begin();
  for (auto stop = stops.begin(); stop != stops.end(); ++stop) {
    if (!tab_walk_detail::ReadsOn(*first, *stop, window)) first = stop;
  }
  std::rotate(stops.begin(), first, stops.end());
  return stops;
}

}  // namespace netrove::test
