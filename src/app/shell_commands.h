#pragma once
// The commands of the main window's menus: id, menu label and the prompt the
// status bar shows while the item is highlighted (a toolbar button's tool tip
// follows the prompt after a line feed).
#include <span>
#include <string_view>

namespace netrove {

struct ShellCommand {
  int id = 0;  // 0: a separator
  std::string_view label;
  std::string_view prompt;
};

enum class ShellMenu { File, Internet, Tools, Window, Help };

// The commands of one menu in menu order.
std::span<const ShellCommand> MenuCommands(ShellMenu menu);
// Also knows the toolbar-only commands; nullptr for an unknown id.
const ShellCommand* FindShellCommand(int id);
// The status-bar part of a prompt (before the line feed) and the tool tip.
std::string_view PromptStatusText(std::string_view prompt);
std::string_view PromptToolTip(std::string_view prompt);

}  // namespace netrove
