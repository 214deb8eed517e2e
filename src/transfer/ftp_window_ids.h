#pragma once
// The numbers the FTP window and its two file trees speak of: the requests a
// tree posts to the Directories page (WM_FTP_NOTIFY), the messages the view
// sends to a tree (WM_FTP_TREE), the trees' ids and the menu's command ids.
namespace netrove {

// WM_FTP_NOTIFY requests (beside 1155 and 1156 of the connection).
inline constexpr int kFtpOpenRemoteFolder = 1157;
inline constexpr int kFtpRenameRemote = 1158;
inline constexpr int kFtpDeleteRemoteFile = 1159;
inline constexpr int kFtpDeleteRemoteFolder = 1160;
inline constexpr int kFtpDownload = 1161;
inline constexpr int kFtpUpload = 1162;
inline constexpr int kFtpNewRemoteFolder = 1163;
inline constexpr int kFtpOpenInEditor = 1165;
inline constexpr int kFtpCheckNames = 1166;

// WM_FTP_TREE messages.
inline constexpr int kFtpTreeAppendOption = 1175;
inline constexpr int kFtpTreeUniqueOption = 1176;
inline constexpr int kFtpTreeConfirmReplace = 1177;

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
