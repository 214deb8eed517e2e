#include "news/pane_layout.h"

#include <algorithm>

namespace netrove {
namespace {

struct Contents {
  NewsPane first, second, third;
};

// A = articles, G = groups, T = text; unknown contents values give A, G, T.
Contents PanesOf(std::uint32_t contents) {
  using enum NewsPane;
  switch (contents) {
    case 1245:
      return {Articles, Text, Groups};
    case 1246:
      return {Text, Articles, Groups};
    case 1247:
      return {Groups, Text, Articles};
    case 1248:
      return {Text, Groups, Articles};
    case 1249:
      return {Groups, Articles, Text};
    default:
      return {Articles, Groups, Text};
  }
}

}  // namespace

PaneArrangement ArrangePanes(std::uint32_t layout, std::uint32_t contents) {
  PaneArrangement arrangement;
  const Contents panes = PanesOf(contents);
  arrangement.first = panes.first;
  arrangement.second = panes.second;
  arrangement.third = panes.third;
  arrangement.layout = layout >= kFirstLayout && layout <= kLastLayout ? layout : kLastLayout;
  switch (arrangement.layout) {
    case 1239:
    case 1240:
      arrangement.outerSideBySide = true;
      arrangement.paneThreeFirst = layout == 1239;
      arrangement.innerSideBySide = false;
      break;
    case 1241:
    case 1242:
      arrangement.outerSideBySide = false;
      arrangement.paneThreeFirst = layout == 1241;
      arrangement.innerSideBySide = true;
      break;
    case 1243:
      arrangement.outerSideBySide = true;
      arrangement.innerSideBySide = true;
      break;
    default:
      arrangement.outerSideBySide = false;
      arrangement.innerSideBySide = false;
      break;
  }
  return arrangement;
}

namespace {

// Where a pane sits in a splitter: in its first cell (itself or inside the
// inner splitter held there), in its second, or not at all.
enum class Cell { None, First, Second };

// The size of a splitter's first cell: `preferred`, changed so that the
// group list's cell is at least `groupsWidth` and the article list's at
// least two fifths of `room`; the article list comes first.
int FirstCellSize(int preferred, Cell groups, int groupsWidth, Cell articles, int room) {
  int size = std::min(preferred, room);
  const auto atLeast = [&](Cell cell, int wanted) {
    wanted = std::min(wanted, room);
    if (cell == Cell::First) size = std::max(size, wanted);
    if (cell == Cell::Second) size = std::min(size, room - wanted);
  };
  atLeast(groups, groupsWidth);
  atLeast(articles, room * 2 / 5);
  return size;
}

Cell OuterCellOf(const PaneArrangement& a, NewsPane pane) {
  return (a.third == pane) == a.paneThreeFirst ? Cell::First : Cell::Second;
}

Cell InnerCellOf(const PaneArrangement& a, NewsPane pane) {
  if (a.first == pane) return Cell::First;
  return a.second == pane ? Cell::Second : Cell::None;
}

}  // namespace

PaneSizes ShareOutPanes(const PaneArrangement& arrangement, const PaneSizeWish& wish, int width,
                        int height, int handle) {
  const PaneArrangement& a = arrangement;
  PaneSizes sizes;
  const int outerRoom = std::max((a.outerSideBySide ? width : height) - handle, 0);
  // The group list's columns matter only across: in a splitter of columns.
  const int outerGroupsWidth = a.outerSideBySide ? wish.groupsWidth : 0;
  sizes.outerFirst = FirstCellSize(wish.outerFirst, OuterCellOf(a, NewsPane::Groups),
                                   outerGroupsWidth, OuterCellOf(a, NewsPane::Articles), outerRoom);
  sizes.outerSecond = outerRoom - sizes.outerFirst;
  const int innerCell = a.paneThreeFirst ? sizes.outerSecond : sizes.outerFirst;
  const int innerExtent =
      a.innerSideBySide == a.outerSideBySide ? innerCell : (a.innerSideBySide ? width : height);
  const int innerRoom = std::max(innerExtent - handle, 0);
  const int innerGroupsWidth = a.innerSideBySide ? wish.groupsWidth : 0;
  sizes.innerFirst = FirstCellSize(wish.innerFirst, InnerCellOf(a, NewsPane::Groups),
                                   innerGroupsWidth, InnerCellOf(a, NewsPane::Articles), innerRoom);
  sizes.innerSecond = innerRoom - sizes.innerFirst;
  return sizes;
}

}  // namespace netrove
