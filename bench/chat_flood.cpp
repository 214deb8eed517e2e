// What a chat window costs against a peer that floods it: the peak memory of
// the process while a large stream arrives, and the time the window takes to
// show text that has no line break at all.
//
//   bench_chat_flood flood MEGABYTES   80-byte lines as fast as the window takes them
//   bench_chat_flood line KILOBYTES    one line without a break, then the end
//
// Prints the seconds from the first byte sent to the window's end of the
// conversation, and the peak resident size (ru_maxrss). Loopback only.
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QPushButton>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "base/net_socket.h"
#include "base/tool_message.h"
#include "peer/chat_view.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

class QuietReporter : public IMainWindowReporter {
 public:
  void PostToolMessage(int, std::string) override {}
  void PostSystemError(int) override {}
  void PostAttention() override {}
};

class BenchServices : public CToolServices {
 public:
  IMainWindowReporter& reporter() override { return reporter_; }
  void showHelp(int) override {}

 private:
  QuietReporter reporter_;
};

// A connected loopback pair: the window's end and the flooding peer's.
bool Connect(CNetSocket& window, CNetSocket& peer) {
  CNetSocket listener;
  in_addr loopback{};
  loopback.s_addr = htonl(INADDR_LOOPBACK);
  if (!listener.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP) ||
      !listener.Bind(SocketAddress::FromIPv4(loopback, 0)) || !listener.Listen(1)) {
    return false;
  }
  SocketAddress bound;
  return listener.LocalAddress(bound) && window.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP) &&
         window.Connect("127.0.0.1", bound.port()) && listener.Accept(peer);
}

void SendAll(CNetSocket& peer, const std::string& block, std::size_t total) {
  for (std::size_t sent = 0; sent < total;) {
    const std::size_t piece = std::min(block.size(), total - sent);
    const SocketCount count = peer.Send(block.data(), piece);
    if (!count) return;
    sent += static_cast<std::size_t>(count.bytes);
  }
}

std::string FloodBlock(bool lines) {
  std::string block;
  while (block.size() < 64 * 1024) {
    block += lines ? std::string(78, 'f') + "\r\n" : std::string(80, 'l');
  }
  return block;
}

}  // namespace
}  // namespace netrove

int main(int argc, char** argv) {
  using namespace netrove;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s flood MEGABYTES | line KILOBYTES\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const bool flood = std::string(argv[1]) == "flood";
  const std::size_t total = std::stoul(argv[2]) * (flood ? 1024 * 1024 : 1024);
  BenchServices services;
  auto window = std::make_shared<CNetSocket>();
  CNetSocket peer;
  if (!Connect(*window, peer)) return 1;
  CChatView view(services);
  view.resize(600, 400);
  view.show();
  const auto start = std::chrono::steady_clock::now();
  view.attach(window);
  std::thread sender([&] {
    SendAll(peer, FloodBlock(flood), total);
    (void)peer.ShutdownSend();
    char drain[256];
    while (peer.Recv(drain, sizeof drain).bytes > 0) {
    }
  });
  // Ended: the window offers "Close" once both directions are over.
  while (
      !(view.sendButton()->isEnabled() && view.sendButton()->text() == QStringLiteral("Close"))) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sender.join();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%s %zu bytes: %.2f s, peak RSS %ld MB\n", argv[1], total, seconds,
              usage.ru_maxrss / 1024);
  return 0;
}
