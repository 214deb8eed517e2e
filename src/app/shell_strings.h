#pragma once
// Texts of the shell's string table that the windows show.
#include <string_view>

namespace netrove {

// 61217: the maker's postal address (About box).
inline constexpr std::string_view kMakerAddress =
    "Corvane Inc.\n2417 Larkspur Avenue, Suite 300\nBellmont, OR 97035, U.S.A.";
// 61219: legal notice (splash window and About box).
inline constexpr std::string_view kLegalNotice =
    "Copyright \xC2\xA9 1996-1998 Corvane Inc. All rights reserved.";
// 61229: the maker's contact line (About box).
inline constexpr std::string_view kContactLine =
    "Questions and comments: support@corvane.example, fax +1 503 555 0147";
// 61287: legal warning (About box).
inline constexpr std::string_view kLegalWarning =
    "Warning: This computer program is protected by copyright law and international treaties. "
    "Unauthorized reproduction or distribution of this program, or any portion of it, may result "
    "in severe civil and criminal penalties, and will be prosecuted to the maximum extent "
    "possible under the law.";
// 61299: the main window refuses to close.
inline constexpr std::string_view kCloseWhileBusy =
    "You cannot close Netrove while one or more connections are in progress. Terminate the "
    "connection(s) before closing Netrove.";
// Shown once when broadcasts arrive faster than the user closes their boxes.
inline constexpr std::string_view kBroadcastsDropped =
    "More broadcasts arrived while five Broadcast boxes were open. They were dropped; broadcasts "
    "are shown again once some of the open boxes are closed.";
// 61260, with its placeholder.
inline constexpr std::string_view kDeleteQuestion = "Are you sure you want to delete '%s'?";
inline constexpr std::string_view kRegistryEntryName = "the Registry Entry";

}  // namespace netrove
