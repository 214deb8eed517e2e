#include "app/program_catalog.h"

#include "app/customize_netrove.h"
#include "desktop/desktop_tools.h"
#include "diagnostics/diagnostics_tools.h"
#include "news/news_tools.h"
#include "peer/peer_tools.h"
#include "query/query_tools.h"
#include "transfer/transfer_tools.h"
#include "widgets/shell_context.h"

namespace netrove {

ToolCatalog BuildToolCatalog() {
  ToolCatalog catalog;
  AddPeerTools(catalog);
  AddTransferTools(catalog);
  AddDiagnosticsTools(catalog);
  AddQueryTools(catalog);
  AddNewsTools(catalog);
  AddDesktopTools(catalog);
  catalog.page(CustomizeTab::Netrove) = [](IShellContext& shell) {
    return new CCustomizeNetrove(shell);
  };
  return catalog;
}

}  // namespace netrove
