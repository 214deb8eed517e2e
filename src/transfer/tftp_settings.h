#pragma once
// The values of the "TFTP" tool key that the server reads when it starts.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "base/tftp_server_control.h"
#include "transfer/tftp_options.h"

namespace netrove {

inline constexpr std::string_view kValueServerPort = "ServerPort";
inline constexpr std::string_view kValueServerFolder = "ServerFolder";
inline constexpr std::string_view kValueAllowCreate = "AllowCreate";
inline constexpr std::string_view kValueClientTimeout = "ClientTimeout";
// The options the TFTP window and netrove-cli tftp ask for; 0 asks nothing.
inline constexpr std::string_view kValueClientBlockSize = "ClientBlockSize";
inline constexpr std::string_view kValueClientWindowSize = "ClientWindowSize";
inline constexpr std::string_view kValueClientRexmt = "ClientRetransmitTimeout";
inline constexpr std::uint16_t kDefaultTftpServerPort = 69;
// How long, in seconds, the TFTP window and netrove-cli tftp wait for a
// silent server in all before they give up.
inline constexpr std::uint32_t kDefaultTftpClientTimeout = 60;
inline constexpr std::uint32_t kLongestTftpClientTimeout = 3600;

struct TftpServerSettings {
  std::uint16_t port = kDefaultTftpServerPort;
  // The one folder served: requests name files below it.
  std::filesystem::path folder;
  // Write requests may create new files (never replace existing ones).
  bool allowCreate = false;
};

// The "tftp" folder among the program's data files.
std::filesystem::path DefaultTftpServerFolder();
// The stored settings; missing values keep their defaults (port 69, the
// default folder, no creation). A port of 0 is taken as the default.
TftpServerSettings ReadTftpServerSettings();
// The client's time-out in seconds: 1 to 3600, the default when missing.
std::uint32_t ReadTftpClientTimeout();
// The options the client asks for: none unless chosen; a stored value out of
// its range is taken as not chosen.
TftpOptions ReadTftpClientOptions();

}  // namespace netrove
