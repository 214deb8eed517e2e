#pragma once
// The numbers the FTP window speaks of: its two trees' ids and the menu's
// command ids.
namespace netrove {

inline constexpr int kFtpRemoteTreeId = 1071;
inline constexpr int kFtpLocalTreeId = 1072;

// "FTP &Commands".
inline constexpr int kCmdFtpNewFolder = 32820;
inline constexpr int kCmdFtpDelete = 32821;
inline constexpr int kCmdFtpRename = 32822;
inline constexpr int kCmdFtpRefresh = 32823;
inline constexpr int kCmdFtpAbort = 32824;
inline constexpr int kCmdFtpNoop = 32825;
inline constexpr int kCmdFtpAscii = 32826;
inline constexpr int kCmdFtpImage = 32827;
inline constexpr int kCmdFtpAppend = 32829;
inline constexpr int kCmdFtpStoreUnique = 32830;
inline constexpr int kCmdFtpSystem = 32831;
inline constexpr int kCmdFtpParent = 32834;
inline constexpr int kCmdFtpSite = 32835;
inline constexpr int kCmdFtpHelpWithArgument = 32836;
inline constexpr int kCmdFtpHelp = 32838;
inline constexpr int kCmdFtpStatus = 32839;
inline constexpr int kCmdFtpStatusWithArgument = 32840;
inline constexpr int kCmdFtpPrintDirectory = 32790;

}  // namespace netrove
