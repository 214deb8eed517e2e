#pragma once
// Reading header fields out of a header block, and building the wire form of
// an article to post. Header blocks come from the server: every read stays
// within its line, and a field that is missing or malformed gives nothing
// instead of a guess.
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

// The value of the first field `name` (compared without regard to case),
// without the blanks after the colon; nothing when there is none.
std::optional<std::string> HeaderValue(std::string_view block, std::string_view name);

// Who wrote an article, from its From value: the comment in "a@b (Name)",
// the name in "Name <a@b>", else the whole value.
std::string Attribution(std::string_view from);

// The article as POST sends it: lines ended CR LF, a leading dot doubled,
// then the line ".".
std::string ArticleWireForm(std::string_view headers, std::string_view body);

}  // namespace netrove
