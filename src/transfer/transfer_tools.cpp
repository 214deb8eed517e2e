#include "transfer/transfer_tools.h"

#include "base/command_ids.h"
#include "transfer/customize_ftp_page.h"
#include "transfer/customize_tftp_page.h"
#include "transfer/ftp_view.h"
#include "transfer/tftp_server.h"
#include "transfer/tftp_view.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"

namespace netrove {

void AddTransferTools(ToolCatalog& catalog) {
  catalog.templates.push_back({146, QStringLiteral("FTP"), kCmdFtp,
                               QStringLiteral("File Transfer Protocol (FTP)"),
                               [](CToolServices& s) { return new CFtpView(s); }, true});
  catalog.templates.push_back({130, QStringLiteral("TFTP"), kCmdTftp,
                               QStringLiteral("Trivial File Transfer Protocol (TFTP)"),
                               [](CToolServices& s) { return new CTftpView(s); }});
  catalog.tftpServer = [](IMainWindowReporter& reporter) -> std::unique_ptr<ITftpServer> {
    return std::make_unique<CTftpServer>(reporter, [] { return ReadTftpServerSettings(); });
  };
  catalog.page(CustomizeTab::Ftp) = [](IShellContext& shell) {
    return new CCustomizeFTP(shell.toolServices().reporter());
  };
  catalog.page(CustomizeTab::Tftp) = [](IShellContext& shell) {
    return new CCustomizeTFTP(shell.tftpServer());
  };
}

}  // namespace netrove
