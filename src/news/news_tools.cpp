#include "news/news_tools.h"

#include "base/command_ids.h"
#include "base/tool_message.h"
#include "news/customize_news_page.h"
#include "news/nntp_doc.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {

void AddNewsTools(ToolCatalog& catalog) {
  catalog.templates.push_back({151, QStringLiteral("NNTP"), kCmdNewsreader,
                               QStringLiteral("Newsreader"),
                               [](CToolServices& services) { return new CNNTPDoc(services); }});
  catalog.templates.push_back({152, QStringLiteral("NNTPPost"), 0, QStringLiteral("NNTPPost"), {}});
  catalog.page(CustomizeTab::Newsreader) = [](IShellContext& shell) {
    IMainWindowReporter& reporter = shell.toolServices().reporter();
    return new CCustomizeNNTP([&reporter](int error) { reporter.PostSystemError(error); });
  };
}

}  // namespace netrove
