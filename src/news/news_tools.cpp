#include "news/news_tools.h"

#include "widgets/command_ids.h"
#include "widgets/tool_catalog.h"

namespace netrove {

void AddNewsTools(ToolCatalog& catalog) {
  // Not built yet: the templates keep their commands, greyed.
  catalog.templates.push_back(
      {151, QStringLiteral("NNTP"), kCmdNewsreader, QStringLiteral("News Reader"), {}});
  catalog.templates.push_back({152, QStringLiteral("NNTPPost"), 0, QStringLiteral("NNTPPost"), {}});
}

}  // namespace netrove
