#include "transfer/transfer_tools.h"

#include "widgets/command_ids.h"
#include "widgets/tool_catalog.h"

namespace netrove {

void AddTransferTools(ToolCatalog& catalog) {
  // Not built yet: the templates keep their commands, greyed.
  catalog.templates.push_back({146,
                               QStringLiteral("FTP"),
                               kCmdFtp,
                               QStringLiteral("File Transfer Protocol (FTP)"),
                               {},
                               true});
  catalog.templates.push_back({130,
                               QStringLiteral("TFTP"),
                               kCmdTftp,
                               QStringLiteral("Trivial File Transfer Protocol (TFTP)"),
                               {}});
}

}  // namespace netrove
