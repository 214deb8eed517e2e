#include "diagnostics/icmp_helper_client.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

namespace netrove {
namespace {

constexpr const char* kHelperName = "netrove-icmp-helper";
// The helper answers at once; a helper that does not within this bound is
// broken, and Ping goes on without it rather than wait.
constexpr int kAnswerWaitMilliseconds = 5000;

std::filesystem::path ProgramFolder() {
  std::array<char, PATH_MAX> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  return std::filesystem::path(std::string(path.data(), static_cast<std::size_t>(length)))
      .parent_path();
}

bool IsExecutable(const std::filesystem::path& path) {
  return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// A started helper and our end of its channel; ending it hangs up and
// collects the process.
class CHelperProcess {
 public:
  CHelperProcess(const CHelperProcess&) = delete;
  CHelperProcess& operator=(const CHelperProcess&) = delete;
  ~CHelperProcess() {
    if (channel_ >= 0) close(channel_);
    if (pid_ > 0) {
      if (!answered_) kill(pid_, SIGKILL);
      while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }

  static std::optional<CHelperProcess> Start(const std::string& path) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return std::nullopt;
    CHelperProcess helper(ends[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    char* noEnvironment[] = {nullptr};
    const int spawned =
        posix_spawn(&helper.pid_, path.c_str(), &actions, nullptr, argv, noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    if (spawned != 0) {
      helper.pid_ = 0;
      return std::nullopt;
    }
    return helper;
  }

  CHelperProcess(CHelperProcess&& other) noexcept
      : channel_(std::exchange(other.channel_, -1)),
        pid_(std::exchange(other.pid_, 0)),
        answered_(other.answered_) {}

  // The answer and, when granted, the descriptor (else -1).
  std::optional<IcmpHelperAnswer> Ask(const IcmpHelperRequest& request, int& descriptor) {
    descriptor = -1;
    const IcmpHelperMessage message = EncodeIcmpHelperRequest(request);
    if (send(channel_, message.data(), message.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(message.size()))
      return std::nullopt;
    pollfd ready{channel_, POLLIN, 0};
    int polled;
    do polled = poll(&ready, 1, kAnswerWaitMilliseconds);
    while (polled < 0 && errno == EINTR);
    if (polled <= 0) return std::nullopt;
    return Receive(descriptor);
  }

 private:
  explicit CHelperProcess(int channel) : channel_(channel) {}

  std::optional<IcmpHelperAnswer> Receive(int& descriptor) {
    IcmpHelperMessage buffer{};
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(channel_, &header, MSG_CMSG_CLOEXEC);
    if (got <= 0) return std::nullopt;
    const cmsghdr* rights = CMSG_FIRSTHDR(&header);
    if (rights && rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS &&
        rights->cmsg_len == CMSG_LEN(sizeof(int)))
      std::memcpy(&descriptor, CMSG_DATA(rights), sizeof descriptor);
    answered_ = true;
    const bool whole = (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0;
    auto answer =
        whole ? ParseIcmpHelperAnswer(std::span(buffer.data(), static_cast<std::size_t>(got)))
              : std::nullopt;
    if (!answer || answer->granted != (descriptor >= 0)) {
      if (descriptor >= 0) close(descriptor);
      descriptor = -1;
      return std::nullopt;
    }
    return answer;
  }

  int channel_ = -1;
  pid_t pid_ = 0;
  bool answered_ = false;
};

}  // namespace

std::string IcmpHelperPath() {
  if (const char* chosen = std::getenv("NETROVE_ICMP_HELPER"); chosen && *chosen) return chosen;
  const std::filesystem::path folder = ProgramFolder();
  if (folder.empty()) return std::string("/usr/lib/netrove/") + kHelperName;
  const std::filesystem::path installed =
      (folder.parent_path() / "lib" / "netrove" / kHelperName).lexically_normal();
  const std::filesystem::path beside = folder / kHelperName;
  return !IsExecutable(installed) && IsExecutable(beside) ? beside.string() : installed.string();
}

SocketStatus OpenRawIcmpThroughHelper(IcmpHelperFamily family, CNetSocket& socket) {
  const std::string path = IcmpHelperPath();
  if (!IsExecutable(path)) return {WSAEACCES};
  std::optional<CHelperProcess> helper = CHelperProcess::Start(path);
  if (!helper) return {WSAEACCES};
  int descriptor = -1;
  const std::optional<IcmpHelperAnswer> answer = helper->Ask({family}, descriptor);
  if (!answer || !answer->granted) return {WSAEACCES};
  socket.Adopt(descriptor);
  return {};
}

}  // namespace netrove
