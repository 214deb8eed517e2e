#include "app/shell_commands.h"

#include <array>

#include "base/command_ids.h"

namespace netrove {
namespace {

constexpr ShellCommand kSeparator{};

constexpr std::array kInternetMenu{
    ShellCommand{kCmdWhoAmI, "&Who am I?...", "Display connection information."},
    kSeparator,
    ShellCommand{kCmdFtp, "&FTP...", "File Transfer Protocol (FTP)."},
    ShellCommand{kCmdTftp, "&TFTP...", "Trivial File Transfer Protocol (TFTP)."},
    ShellCommand{kCmdNewsreader, "Newsreader...", "Read and post Usenet news (NNTP)."},
    kSeparator,
    ShellCommand{kCmdPing, "&Ping...",
                 "Packet InterNet Groper (Ping) indicate whether a remote host can be reached."},
    ShellCommand{kCmdTraceRoute, "trace&route...",
                 "Display which route packets take going from your system to a remote system."},
    kSeparator,
    ShellCommand{kCmdFinger, "F&inger...", "Finger Protocol."},
    ShellCommand{kCmdNicName, "&NicName/WhoIs...", "Provide netwide directory service."},
    ShellCommand{kCmdDaytime, "&Daytime...", "DayTime Protocol."},
    ShellCommand{kCmdQuoteOfTheDay, "&Quote of the Day...", "Quote of the Day Protocol."},
    kSeparator,
    ShellCommand{kCmdLocalBroadcast, "&Local Broadcast...", "Local Network Broadcast."},
    ShellCommand{kCmdChat, "&Chat...", "Real-time chatting."},
    kSeparator,
    ShellCommand{kCmdExit, "E&xit", "Quit the application; prompts to save documents\nExit"},
};

constexpr std::array kToolsMenu{
    ShellCommand{kCmdAddressBook, "&Address Book...", "Address Book for IP Addresses."},
    ShellCommand{kCmdCalendar, "Ca&lendar", "Display a calendar for the current system date."},
    kSeparator,
    ShellCommand{kCmdHardware, "&Hardware...", "Hardware information."},
    ShellCommand{kCmdSoftware, "&Software...", "Software information."},
    // No menu of the original offers the Mail window; here the Tools menu
    // does, once that tool is built in.
    ShellCommand{kCmdMail, "&Mail...", "Check that the outgoing mail server accepts mail."},
    kSeparator,
    ShellCommand{kCmdCustomize, "&Customize...", "Customize Netrove."},
};

constexpr std::array kWindowMenu{
    ShellCommand{kCmdNextWindow, "&Next", "Activate the next window\nNext Window"},
    ShellCommand{kCmdPreviousWindow, "&Previous", "Activate the previous window\nPrevious Window"},
    kSeparator,
    ShellCommand{kCmdCascade, "&Cascade", "Arrange windows so they overlap\nCascade Windows"},
    ShellCommand{kCmdTileHorizontally, "Tile &Horizontally",
                 "Arrange windows as non-overlapping tiles, one above the other\nTile "
                 "Horizontally"},
    ShellCommand{kCmdTileVertically, "Tile &Vertically",
                 "Arrange windows as non-overlapping tiles, side by side\nTile Vertically"},
    ShellCommand{kCmdArrangeIcons, "&Arrange Icons",
                 "Arrange the icons of minimized windows at the bottom\nArrange Icons"},
    kSeparator,
    ShellCommand{kCmdAlwaysOnTop, "Always on &Top",
                 "Keep the main window above all other windows\nAlways on Top"},
};

constexpr std::array kHelpMenu{
    ShellCommand{kCmdHelpTopics, "&Help Topics", "List Help topics\nHelp Topics"},
    ShellCommand{kCmdHelpIndex, "&Index", "Search the Help index\nHelp Index"},
    ShellCommand{kCmdUsingHelp, "&Using Help", "Display instructions about how to use help"},
    kSeparator,
    ShellCommand{kCmdDeleteFromRegistry, "&Delete from Registry...",
                 "Delete all information used by Netrove from the registry."},
    kSeparator,
    ShellCommand{kCmdAbout, "&About Netrove...",
                 "Display program information, version number and copyright\nAbout"},
};

// The File menu of the tool windows: saving and printing their transcripts.
constexpr std::array kFileMenu{
    ShellCommand{kCmdFileSaveAs, "Save &As...",
                 "Save the active transcript as a text file\nSave As"},
    kSeparator,
    ShellCommand{kCmdFilePrint, "&Print...", "Print the active document\nPrint"},
    ShellCommand{kCmdFilePrintPreview, "Print Pre&view", "Display full pages\nPrint Preview"},
    ShellCommand{kCmdFilePrintSetup, "P&rint Setup...",
                 "Change the printer and printing options\nPrint Setup"},
};

constexpr std::array kToolbarOnly{
    ShellCommand{kCmdFileNew, "&New", "Create a new document\nNew"},
    ShellCommand{kCmdFileOpen, "&Open...", "Open an existing document\nOpen"},
    ShellCommand{kCmdFileSave, "&Save", "Save the active document\nSave"},
    ShellCommand{kCmdEditCut, "Cu&t", "Cut the selection and put it on the Clipboard\nCut"},
    ShellCommand{kCmdEditCopy, "&Copy", "Copy the selection and put it on the Clipboard\nCopy"},
    ShellCommand{kCmdEditPaste, "&Paste", "Insert Clipboard contents\nPaste"},
    ShellCommand{kCmdContextHelp, "&What's This?", "Display help for the active window\nHelp"},
};

template <typename Table>
const ShellCommand* FindIn(const Table& table, int id) {
  for (const ShellCommand& command : table) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

}  // namespace

std::span<const ShellCommand> MenuCommands(ShellMenu menu) {
  switch (menu) {
    case ShellMenu::File:
      return kFileMenu;
    case ShellMenu::Internet:
      return kInternetMenu;
    case ShellMenu::Tools:
      return kToolsMenu;
    case ShellMenu::Window:
      return kWindowMenu;
    case ShellMenu::Help:
      return kHelpMenu;
  }
  return {};
}

const ShellCommand* FindShellCommand(int id) {
  if (id == 0) return nullptr;
  for (ShellMenu menu : {ShellMenu::File, ShellMenu::Internet, ShellMenu::Tools, ShellMenu::Window,
                         ShellMenu::Help}) {
    for (const ShellCommand& command : MenuCommands(menu)) {
      if (command.id == id) return &command;
    }
  }
  return FindIn(kToolbarOnly, id);
}

std::string_view PromptStatusText(std::string_view prompt) {
  return prompt.substr(0, prompt.find('\n'));
}

std::string_view PromptToolTip(std::string_view prompt) {
  const auto lineFeed = prompt.find('\n');
  return lineFeed == std::string_view::npos ? std::string_view{} : prompt.substr(lineFeed + 1);
}

}  // namespace netrove
