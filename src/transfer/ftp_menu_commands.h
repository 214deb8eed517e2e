#pragma once
// The FTP window's "FTP &Commands" menu as a table: each item's id, label,
// the submenu it sits in (empty: the menu itself), whether it is a check
// item, and what it needs to be enabled. The window builds the menu and
// applies the enable rules from this table alone.
#include <array>
#include <string_view>

#include "transfer/ftp_window_ids.h"

namespace netrove {

enum class FtpCommandNeeds {
  FocusedTree,  // a tree of the Directories page has the focus
  Connection,   // a connection whose first listing has arrived, off the Login page
};

struct FtpMenuCommand {
  int id = 0;  // 0: a separator
  std::string_view label;
  std::string_view submenu;  // items of one submenu follow each other
  bool checkable = false;
  FtpCommandNeeds needs = FtpCommandNeeds::Connection;
};

inline constexpr FtpCommandNeeds kFtpNeedsTree = FtpCommandNeeds::FocusedTree;
inline constexpr FtpCommandNeeds kFtpNeedsLink = FtpCommandNeeds::Connection;

inline constexpr std::array kFtpMenuCommands{
    FtpMenuCommand{kCmdFtpNewFolder, "&New Folder", {}, false, kFtpNeedsTree},
    FtpMenuCommand{kCmdFtpDelete, "&Delete", {}, false, kFtpNeedsTree},
    FtpMenuCommand{kCmdFtpRename, "&Rename", {}, false, kFtpNeedsTree},
    FtpMenuCommand{kCmdFtpRefresh, "Re&fresh", {}, false, kFtpNeedsTree},
    FtpMenuCommand{0, {}, {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpAbort, "&Abort", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpNoop, "No &Operation", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpAscii, "&ASCII", "&Transfer Mode", true, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpImage, "&Image (Binary)", "&Transfer Mode", true, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpParent, "&Change to Parent Directory", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpPrintDirectory, "Print &Working Directory", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpStatus, "With&out Argument", "&Status", false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpStatusWithArgument, "&With Argument...", "&Status", false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpAppend, "&Append (with Create)", "Store O&ptions", true, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpStoreUnique, "&Store Unique", "Store O&ptions", true, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpSystem, "S&ystem", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpSite, "S&ite...", {}, false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpHelp, "With&out Argument", "&Help", false, kFtpNeedsLink},
    FtpMenuCommand{kCmdFtpHelpWithArgument, "&With Argument...", "&Help", false, kFtpNeedsLink},
};

}  // namespace netrove
