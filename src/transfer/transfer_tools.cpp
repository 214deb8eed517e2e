#include "transfer/transfer_tools.h"

#include "transfer/customize_tftp_page.h"
#include "transfer/tftp_server.h"
#include "transfer/tftp_view.h"
#include "widgets/command_ids.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"

namespace netrove {

void AddTransferTools(ToolCatalog& catalog) {
  // Not built yet: the template keeps its command, greyed.
  catalog.templates.push_back({146,
                               QStringLiteral("FTP"),
                               kCmdFtp,
                               QStringLiteral("File Transfer Protocol (FTP)"),
                               {},
                               true});
  catalog.templates.push_back({130, QStringLiteral("TFTP"), kCmdTftp,
                               QStringLiteral("Trivial File Transfer Protocol (TFTP)"),
                               [](CToolServices& s) { return new CTftpView(s); }});
  catalog.tftpServer = [](IMainWindowReporter& reporter) -> std::unique_ptr<ITftpServer> {
    return std::make_unique<CTftpServer>(reporter, [] { return ReadTftpServerSettings(); });
  };
  catalog.page(CustomizeTab::Tftp) = [](IShellContext& shell) {
    return new CCustomizeTFTP(shell.tftpServer());
  };
}

}  // namespace netrove
