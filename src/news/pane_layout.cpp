#include "news/pane_layout.h"

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

}  // namespace netrove
