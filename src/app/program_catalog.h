#pragma once
// The program's catalog: every tool folder adds what it has built.
#include "widgets/tool_catalog.h"

namespace netrove {

ToolCatalog BuildToolCatalog();

}  // namespace netrove
