#pragma once
// Adds this folder's tool windows, commands and Customize pages to the
// program's catalog.
namespace netrove {

struct ToolCatalog;
void AddDiagnosticsTools(ToolCatalog& catalog);

}  // namespace netrove
