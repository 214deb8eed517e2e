#pragma once
// What the article text window does to an article's text: rot13 on its body
// or a selection, and appending it to the group's file of saved articles.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace netrove {

class IMainWindowReporter;

// Where the body begins: after the first empty line when the text is a
// whole article, else at 0. A whole article without an empty line is all
// body.
std::size_t BodyStart(std::string_view text, bool headerIncluded);

// rot13 on text[begin, end) in place: letters move 13 places, wrapping
// within their case; every other byte stays.
void Rot13(std::string& text, std::size_t begin, std::size_t end);

// The range rot13 works on: the selection [selBegin, selEnd) when there is
// one (and, with the header included, only when it begins after the body
// start), else from the body start to the end. Empty (begin == end) when
// nothing is to change.
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};
TextRange Rot13Range(std::string_view text, bool headerIncluded, std::size_t selBegin,
                     std::size_t selEnd);

// The file an article of `group` from `server` is saved in: the folder (the
// articlesFolder setting, or the data folder's "News"), the server, one
// folder per name part but the last, and the last part with ".txt". The
// suffix keeps a group's file apart from the folder of its child groups
// (comp.lang.c and comp.lang.c.moderated). Name parts that could leave the
// folder are escaped.
std::filesystem::path SavedArticlePath(const std::string& folderSetting, std::string_view server,
                                       std::string_view group);

// Appends `text` and an empty line to the group's file, creating folders as
// needed. Failures are reported (a clash with something in the way by name,
// others by their system error) and return false.
bool SaveArticle(const std::filesystem::path& file, std::string_view text,
                 IMainWindowReporter& reporter);

}  // namespace netrove
