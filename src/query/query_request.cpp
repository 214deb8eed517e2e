#include "query/query_request.h"

namespace netrove {

bool IsSafeQueryText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string FingerRequestLine(std::string_view query, bool verboseToken) {
  std::string line;
  line.reserve(query.size() + 5);
  if (verboseToken) line += query.empty() ? "/W" : "/W ";
  line += query;
  line += "\r\n";
  return line;
}

std::string WhoIsRequestLine(std::string_view commandLine) {
  std::string line;
  line.reserve(commandLine.size() + 2);
  line += commandLine;
  line += "\r\n";
  return line;
}

}  // namespace netrove
