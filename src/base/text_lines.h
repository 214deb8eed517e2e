#pragma once
// Lines of a text that ends them with LF or CR LF: server blocks (lists,
// overviews, capabilities), header blocks and files a user may have edited.
#include <string_view>

namespace netrove {

// Takes the first line off `text` and returns it without its line end; the
// last line needs none. Call while `text` is not empty.
inline std::string_view TakeLine(std::string_view& text) {
  const std::size_t lf = text.find('\n');
  std::string_view line = text.substr(0, lf);
  text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace netrove
