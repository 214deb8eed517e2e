#include "peer/peer_tools.h"

#include "widgets/tool_catalog.h"

namespace netrove {

void AddPeerTools(ToolCatalog& catalog) {
  // Not built yet: chat windows open only for calls.
  catalog.templates.push_back({129, QStringLiteral("Chat"), 0, QStringLiteral("Chat"), {}});
}

}  // namespace netrove
