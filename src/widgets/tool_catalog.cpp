#include "widgets/tool_catalog.h"

namespace netrove {

const ToolTemplate* ToolCatalog::findByCommand(int commandId) const {
  if (commandId == 0) return nullptr;
  for (const ToolTemplate& tool : templates) {
    if (tool.commandId == commandId) return &tool;
  }
  return nullptr;
}

const ToolTemplate* ToolCatalog::findByType(const QString& typeName) const {
  for (const ToolTemplate& tool : templates) {
    if (tool.typeName == typeName) return &tool;
  }
  return nullptr;
}

QString CustomizeTabCaption(CustomizeTab tab) {
  static const std::array<const char*, kCustomizeTabCount> captions = {
      "Chat",          "Finger", "FTP",  "Mail",       "Newsreader",
      "NicName/WhoIs", "Ping",   "TFTP", "traceroute", "Netrove"};
  return QString::fromLatin1(captions[static_cast<std::size_t>(tab)]);
}

}  // namespace netrove
