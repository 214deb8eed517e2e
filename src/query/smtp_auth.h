#pragma once
// The credentials of SMTP AUTH (RFC 4954) as they go on the wire: base64 of
// "\0user\0password" for PLAIN (RFC 4616), base64 of each for LOGIN.
#include <string>
#include <string_view>

namespace netrove {

std::string Base64(std::string_view bytes);

// The argument of "AUTH PLAIN ...": the mechanism and its initial response.
std::string AuthPlainArgument(std::string_view user, std::string_view password);

}  // namespace netrove
