#include "diagnostics/diagnostics_tools.h"

#include "base/command_ids.h"
#include "diagnostics/customize_ping_page.h"
#include "diagnostics/customize_traceroute_page.h"
#include "diagnostics/ping_view.h"
#include "diagnostics/traceroute_view.h"
#include "widgets/shell_context.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_view.h"

namespace netrove {

void AddDiagnosticsTools(ToolCatalog& catalog) {
  catalog.templates.push_back({131, QStringLiteral("Ping"), kCmdPing, QStringLiteral("Ping"),
                               [](CToolServices& s) { return new CPingView(s); }});
  catalog.templates.push_back({132, QStringLiteral("TraceRoute"), kCmdTraceRoute,
                               QStringLiteral("Trace Route"),
                               [](CToolServices& s) { return new CTraceRouteView(s); }});
  catalog.page(CustomizeTab::Ping) = [](IShellContext&) { return new CCustomizePing; };
  catalog.page(CustomizeTab::TraceRoute) = [](IShellContext& shell) {
    return new CCustomizeTraceRoute(shell.toolServices().reporter());
  };
}

}  // namespace netrove
