#pragma once
// The certificates a user has trusted by hand: one line per server,
// "HOST:PORT SHA256-FINGERPRINT", in a file under the data folder. A pinned
// certificate is accepted even when verification fails; another certificate
// for a pinned server is refused as changed. Changes hold a lock between
// processes and replace the file atomically, so two windows pinning at once
// both keep their entry.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

// DataFolder()/"pinned-certificates".
std::filesystem::path PinnedCertificatesFile();

// "mail.test:465", "[::1]:465": how a server is named in the file.
std::string PinKey(std::string_view host, std::uint16_t port);

// The fingerprint pinned for the server ("AB:CD:..."); nothing when none is
// or the file cannot be read. A line naming the host without a port pins
// every port of it.
std::optional<std::string> FindPinnedCertificate(const std::filesystem::path& file,
                                                 std::string_view host, std::uint16_t port);

// Pins `fingerprint` for the server, replacing an entry it had. The reason
// when it could not be saved; empty on success.
std::string PinCertificate(const std::filesystem::path& file, std::string_view host,
                           std::uint16_t port, std::string_view fingerprint);

}  // namespace netrove
