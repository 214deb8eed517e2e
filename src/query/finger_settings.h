#pragma once
// The "Finger" tool key: the server and the verbose token a new Finger window
// (and netrove-cli finger) starts from.
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kFingerToolName = "Finger";
inline constexpr std::string_view kServerLocationValue = "ServerLocation";
inline constexpr std::string_view kQueryTokenValue = "QueryToken";

struct FingerSettings {
  std::string serverLocation;
  bool queryToken = false;
};

// The stored values; defaults for what is missing. The server is read up to
// the edit's 256 characters.
FingerSettings ReadFingerSettings();

// Creates the key if needed and writes the server text as REG_SZ. False when
// the store could not be written.
bool WriteFingerServer(std::string_view server);

}  // namespace netrove
