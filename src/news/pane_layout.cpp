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

// The first cell's size such that the cell holding the article list (the
// first when `articlesFirst`) has at least two fifths of `room`.
int WithArticleShare(int size, bool articlesFirst, int room) {
  const int share = room * 2 / 5;
  return articlesFirst ? std::max(size, share) : std::min(size, std::max(room - share, 0));
}

}  // namespace

PaneSizes ShareOutPanes(const PaneArrangement& arrangement, int outerFirst, int innerFirst,
                        int width, int height, int handle) {
  const PaneArrangement& a = arrangement;
  PaneSizes sizes;
  const int outerRoom = std::max((a.outerSideBySide ? width : height) - handle, 0);
  const bool articlesAlone = a.third == NewsPane::Articles;
  // The outer splitter's first cell holds P3 or the inner splitter.
  sizes.outerFirst = WithArticleShare(outerFirst, articlesAlone == a.paneThreeFirst, outerRoom);
  sizes.outerFirst = std::min(sizes.outerFirst, outerRoom);
  sizes.outerSecond = outerRoom - sizes.outerFirst;
  const int innerCell = a.paneThreeFirst ? sizes.outerSecond : sizes.outerFirst;
  const int innerExtent =
      a.innerSideBySide == a.outerSideBySide ? innerCell : (a.innerSideBySide ? width : height);
  const int innerRoom = std::max(innerExtent - handle, 0);
  sizes.innerFirst = articlesAlone
                         ? innerFirst
                         : WithArticleShare(innerFirst, a.first == NewsPane::Articles, innerRoom);
  sizes.innerFirst = std::min(sizes.innerFirst, innerRoom);
  sizes.innerSecond = innerRoom - sizes.innerFirst;
  return sizes;
}

}  // namespace netrove
