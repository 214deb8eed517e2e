#pragma once
// A real peer for the tests: a private inetutils-inetd on 127.0.0.1 at a free
// high port, serving one service with its configuration in a temporary
// folder; never the system's own services. It serves either a program of the
// system (fingerd, fortune as a Quote of the Day server) or one of inetd's
// built-in services, which inetd finds by their name in the services table:
// those run in a mount namespace of their own where a private copy of that
// table names the high port, which needs root.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace netrove::test {

// The line inetd's daytime service answers: "Wed Dec  9 00:26:20 2026\r\n",
// as ctime writes it.
inline bool IsDaytimeLine(const std::string& text) {
  static const std::regex line(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}\r\n)");
  return std::regex_match(text, line);
}

class PrivateInetd {
 public:
  PrivateInetd() = default;
  ~PrivateInetd();
  PrivateInetd(const PrivateInetd&) = delete;
  PrivateInetd& operator=(const PrivateInetd&) = delete;

  // Why `program` cannot be served here (inetd or the program missing);
  // empty when it can.
  static std::string ProgramUnavailable(const std::filesystem::path& program);
  // Why a built-in service cannot be served here; empty when it can.
  static std::string BuiltInUnavailable();

  // Serves `command` (the program's path, then its arguments from argv[0]
  // on) as the effective user, its standard output going to the caller, and
  // waits until the port answers. False with `problem` set. `ipv6`: on ::1
  // (tcp6) instead of 127.0.0.1.
  bool StartProgram(const std::vector<std::string>& command, std::string& problem,
                    bool ipv6 = false);
  // Serves inetd's own TCP service `name` ("daytime").
  bool StartBuiltIn(const std::string& name, std::string& problem);

  std::uint16_t port() const { return port_; }

 private:
  bool Prepare(std::string& problem);
  bool Launch(std::vector<std::string> command, std::string& problem);

  std::filesystem::path folder_;
  bool ipv6_ = false;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace netrove::test
