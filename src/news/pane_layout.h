#pragma once
// How a newsreader window arranges its three panes: an outer splitter holds
// one pane (P3) and an inner splitter holding the other two (P1, P2). The
// layout setting picks the splitters' directions and where P3 sits; the
// contents setting picks which pane goes where.
#include <cstdint>

namespace netrove {

enum class NewsPane { Articles, Groups, Text };

inline constexpr std::uint32_t kFirstLayout = 1239;
inline constexpr std::uint32_t kLastLayout = 1244;
inline constexpr std::uint32_t kFirstContents = 1245;
inline constexpr std::uint32_t kLastContents = 1250;

struct PaneArrangement {
  std::uint32_t layout = kLastLayout;   // the layout in force (unknown values become 1244)
  bool outerSideBySide = false;         // one row, two columns; else two rows
  bool paneThreeFirst = true;           // P3 in the outer splitter's first cell
  bool innerSideBySide = false;         // P1 left of P2; else P1 above P2
  NewsPane first = NewsPane::Articles;  // P1
  NewsPane second = NewsPane::Groups;   // P2
  NewsPane third = NewsPane::Text;      // P3
};

PaneArrangement ArrangePanes(std::uint32_t layout, std::uint32_t contents);

// The cell sizes of the outer and inner splitter, in pixels.
struct PaneSizes {
  int outerFirst = 0;
  int outerSecond = 0;
  int innerFirst = 0;
  int innerSecond = 0;
};

// What a window without stored sizes would like: the first cells' sizes
// (190 and 90 pixels) and the width the group list's columns need.
struct PaneSizeWish {
  int outerFirst = 0;
  int innerFirst = 0;
  int groupsWidth = 0;
};

// The sizes a window starts with when none are stored: the wished first
// cells, except that the group list's cell is as wide as its columns where
// panes sit side by side, and the cell holding the article list gets at
// least two fifths of its splitter, so the list is never a strip 90 pixels
// wide or five rows high. `width` and `height` are the outer splitter's,
// `handle` the width of a splitter handle.
PaneSizes ShareOutPanes(const PaneArrangement& arrangement, const PaneSizeWish& wish, int width,
                        int height, int handle);

}  // namespace netrove
