#pragma once
// Command ids of the main window's menus and toolbar, and the help context
// ids derived from them. The numbers are part of the help files and of the
// tools' own code, so they are kept here by name.
namespace netrove {

// Internet menu.
inline constexpr int kCmdWhoAmI = 32804;
inline constexpr int kCmdFtp = 32782;
inline constexpr int kCmdTftp = 32777;
inline constexpr int kCmdNewsreader = 32844;
inline constexpr int kCmdPing = 32776;
inline constexpr int kCmdTraceRoute = 32842;
inline constexpr int kCmdFinger = 32833;
inline constexpr int kCmdNicName = 32803;
inline constexpr int kCmdDaytime = 32773;
inline constexpr int kCmdQuoteOfTheDay = 32809;
inline constexpr int kCmdLocalBroadcast = 32780;
inline constexpr int kCmdChat = 32771;
inline constexpr int kCmdExit = 57665;
// No menu offers the Mail window; the launcher knows its command.
inline constexpr int kCmdMail = 32841;

// Tools menu.
inline constexpr int kCmdAddressBook = 32778;
inline constexpr int kCmdHardware = 32805;
inline constexpr int kCmdSoftware = 32808;
inline constexpr int kCmdCalendar = 32843;
inline constexpr int kCmdCustomize = 32781;

// Window menu.
inline constexpr int kCmdNextWindow = 103;
inline constexpr int kCmdPreviousWindow = 104;
inline constexpr int kCmdArrangeIcons = 57649;
inline constexpr int kCmdCascade = 57650;
inline constexpr int kCmdTileHorizontally = 57651;
inline constexpr int kCmdTileVertically = 57652;
inline constexpr int kCmdAlwaysOnTop = 32800;

// Help menu.
inline constexpr int kCmdHelpIndex = 57666;
inline constexpr int kCmdHelpTopics = 57667;
inline constexpr int kCmdUsingHelp = 57668;
inline constexpr int kCmdContextHelp = 57669;
inline constexpr int kCmdDeleteFromRegistry = 32802;
inline constexpr int kCmdAbout = 57664;

// Toolbar buttons of the document commands.
inline constexpr int kCmdFileNew = 57600;
inline constexpr int kCmdFileOpen = 57601;
inline constexpr int kCmdFileSave = 57603;
inline constexpr int kCmdFileSaveAs = 57604;
inline constexpr int kCmdFilePrint = 57607;
inline constexpr int kCmdFilePrintSetup = 57606;
inline constexpr int kCmdFilePrintPreview = 57609;
inline constexpr int kCmdEditCopy = 57634;
inline constexpr int kCmdEditCut = 57635;
inline constexpr int kCmdEditPaste = 57637;

// Help contexts: the main window's, and a tool window's (its opening
// command's id above 0x10000).
inline constexpr int kHelpMainWindow = 0x20080;
inline constexpr int kHelpCommandBase = 0x10000;
constexpr int CommandHelpContext(int commandId) { return kHelpCommandBase + commandId; }
inline constexpr int kHelpCustomize = CommandHelpContext(kCmdCustomize);  // 0x1800D

}  // namespace netrove
