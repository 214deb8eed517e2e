#include "query/finger_daemon.h"

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
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

extern char** environ;

namespace netrove::test {
namespace {

const std::filesystem::path kInetd = "/usr/sbin/inetutils-inetd";
const std::filesystem::path kFingerd = "/usr/sbin/in.fingerd";

std::uint16_t LocalPort(int descriptor) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

bool PortAnswers(std::uint16_t port) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool answered =
      ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return answered;
}

}  // namespace

bool FingerDaemon::Installed() {
  return std::filesystem::exists(kInetd) && std::filesystem::exists(kFingerd);
}

FingerDaemon::~FingerDaemon() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

bool FingerDaemon::Start(std::string& problem) {
  std::string folder = (std::filesystem::temp_directory_path() / "netrove-fingerd-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    problem = "no temporary folder";
    return false;
  }
  folder_ = folder;
  // A free port: taken from the system, then handed to inetd.
  const int finder = BoundSocket(SOCK_STREAM, 0);
  port_ = LocalPort(finder);
  ::close(finder);
  const passwd* user = getpwuid(geteuid());
  const auto config = folder_ / "inetd.conf";
  std::ofstream(config) << "127.0.0.1:" << port_ << " stream tcp nowait "
                        << (user != nullptr ? user->pw_name : "root") << ' ' << kFingerd.string()
                        << " in.fingerd\n";

  const std::string log = (folder_ / "inetd.log").string();
  std::vector<std::string> args{kInetd.string(), "--debug",
                                "--pidfile=" + (folder_ / "inetd.pid").string(), config.string()};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    problem = "inetutils-inetd could not be started";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!PortAnswers(port_)) {
    if (std::chrono::steady_clock::now() > deadline) {
      problem = "inetutils-inetd did not listen on port " + std::to_string(port_);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace netrove::test
