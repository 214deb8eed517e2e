#include "support/private_inetd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/loopback_socket.h"

extern char** environ;

namespace netrove::test {
namespace {

const std::filesystem::path kInetd = "/usr/sbin/inetutils-inetd";
const std::filesystem::path kUnshare = "/usr/bin/unshare";

std::uint16_t FreePort() {
  const int finder = BoundSocket(SOCK_STREAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(finder, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(finder);
  return ntohs(address.sin_port);
}

bool PortAnswers(std::uint16_t port, bool ipv6) {
  const int probe = ConnectedToLoopback(port, ipv6);
  if (probe < 0) return false;
  ::close(probe);
  return true;
}

// The system's services table with `name` moved to `port`.
void WriteServices(const std::filesystem::path& file, const std::string& name, std::uint16_t port) {
  std::ifstream system("/etc/services");
  std::ofstream out(file);
  out << name << ' ' << port << "/tcp\n";
  for (std::string line; std::getline(system, line);) {
    if (line.rfind(name, 0) != 0) out << line << '\n';
  }
}

}  // namespace

std::string PrivateInetd::ProgramUnavailable(const std::filesystem::path& program) {
  if (!std::filesystem::exists(kInetd)) return "inetutils-inetd is not installed";
  if (!std::filesystem::exists(program)) return program.string() + " is not installed";
  return {};
}

std::string PrivateInetd::BuiltInUnavailable() {
  if (!std::filesystem::exists(kInetd)) return "inetutils-inetd is not installed";
  if (!std::filesystem::exists(kUnshare)) return "unshare is not installed";
  if (geteuid() != 0) return "a private services table needs root";
  return {};
}

PrivateInetd::~PrivateInetd() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

bool PrivateInetd::Prepare(std::string& problem) {
  std::string folder = (std::filesystem::temp_directory_path() / "netrove-inetd-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    problem = "no temporary folder";
    return false;
  }
  folder_ = folder;
  port_ = FreePort();
  return true;
}

bool PrivateInetd::StartProgram(const std::vector<std::string>& command, std::string& problem,
                                bool ipv6) {
  if (!Prepare(problem)) return false;
  ipv6_ = ipv6;
  const passwd* user = getpwuid(geteuid());
  std::ofstream config(folder_ / "inetd.conf");
  config << (ipv6 ? "::1:" : "127.0.0.1:") << port_ << (ipv6 ? " stream tcp6" : " stream tcp")
         << " nowait " << (user != nullptr ? user->pw_name : "root");
  for (const std::string& word : command) config << ' ' << word;
  config << '\n';
  config.close();
  return Launch({kInetd.string(), "--debug", "--pidfile=" + (folder_ / "inetd.pid").string(),
                 (folder_ / "inetd.conf").string()},
                problem);
}

bool PrivateInetd::StartBuiltIn(const std::string& name, std::string& problem) {
  if (!Prepare(problem)) return false;
  WriteServices(folder_ / "services", name, port_);
  std::ofstream(folder_ / "inetd.conf")
      << "127.0.0.1:" << name << " stream tcp nowait root internal\n";
  std::ostringstream script;
  script << "mount --bind '" << (folder_ / "services").string() << "' /etc/services && exec "
         << kInetd.string() << " --debug --pidfile='" << (folder_ / "inetd.pid").string() << "' '"
         << (folder_ / "inetd.conf").string() << "'";
  return Launch({kUnshare.string(), "--mount", "/bin/sh", "-c", script.str()}, problem);
}

// Runs `command` with its output in the folder's log and waits until the
// port answers.
bool PrivateInetd::Launch(std::vector<std::string> command, std::string& problem) {
  std::vector<char*> argv;
  for (auto& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string log = (folder_ / "inetd.log").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    problem = command[0] + " could not be started";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!PortAnswers(port_, ipv6_)) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    if (pid_ < 0 || std::chrono::steady_clock::now() > deadline) {
      problem = "inetutils-inetd did not serve port " + std::to_string(port_);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace netrove::test
