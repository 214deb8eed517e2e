// Feeds arbitrary datagrams to the TFTP request reader, the option
// negotiation of both sides, and to engines of both roles in every state a
// first packet can meet, with and without options.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/net_socket.h"
#include "transfer/tftp_engine.h"
#include "transfer/tftp_file.h"
#include "transfer/tftp_options.h"
#include "transfer/tftp_packet.h"

namespace {

// A file that has four blocks to give and takes whatever is written.
class NullFile : public netrove::ITftpFile {
 public:
  long Read(std::uint8_t* into, std::size_t size) override {
    const std::size_t count = size < left_ ? size : left_;
    for (std::size_t i = 0; i < count; ++i) into[i] = (i % 7 == 0) ? '\n' : '\r';
    left_ -= count;
    return static_cast<long>(count);
  }
  int Write(const std::uint8_t*, std::size_t) override { return 0; }
  void Keep() override {}
  std::optional<std::uint64_t> Size() const override { return 2048; }

 private:
  std::size_t left_ = 2048;
};

netrove::SocketAddress Peer(std::uint16_t port = 69) {
  return netrove::SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)}, port);
}

// A client learns the server's transfer port from its first answer; a server
// hears its requester's port only.
void Feed(netrove::CTftpEngine& engine, std::span<const std::uint8_t> packet, bool client) {
  const netrove::SocketAddress from = Peer(client ? 70 : 69);
  // The same datagram twice: as the first answer and as one in the transfer.
  engine.OnPacket(packet, from, 1);
  static_cast<void>(engine.TakeOutgoing());
  engine.OnPacket(packet, from, 2);
  static_cast<void>(engine.TakeOutgoing());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  const std::span<const std::uint8_t> packet(data, size);
  const TftpRequestParse parse = ParseTftpRequest(packet);
  if (parse.refusal) static_cast<void>(BuildTftpError(parse.refusal->code, parse.refusal->text));
  // The server's answer to the request's options, and the datagram as an
  // OACK's options checked by a client that asked for all of them.
  TftpNegotiation negotiation;
  if (parse.request) {
    negotiation = NegotiateTftpOptions(parse.request->options, parse.request->opcode,
                                       parse.request->mode, 4096);
    static_cast<void>(BuildTftpOack(negotiation.answer));
  }
  const TftpOptions asked{1468, 16, 3, true};
  static_cast<void>(CheckTftpOack(asked, 2048, packet));
  for (const TftpMode mode : {TftpMode::Netascii, TftpMode::Octet}) {
    for (const TftpOptions& options : {TftpOptions{}, asked}) {
      CTftpEngine getter(TftpRole::Client, std::make_unique<NullFile>(), mode, Peer(), 0);
      getter.StartRequest(kTftpRrq, "/f", options);
      Feed(getter, packet, true);
      CTftpEngine putter(TftpRole::Client, std::make_unique<NullFile>(), mode, Peer(), 0);
      putter.StartRequest(kTftpWrq, "/f", options);
      Feed(putter, packet, true);
    }
    for (const bool negotiated : {false, true}) {
      CTftpEngine reader(TftpRole::Server, std::make_unique<NullFile>(), mode, Peer(), 0);
      if (negotiated) reader.UseOptions(negotiation);
      reader.StartServingRead();
      Feed(reader, packet, false);
      CTftpEngine writer(TftpRole::Server, std::make_unique<NullFile>(), mode, Peer(), 0);
      if (negotiated) writer.UseOptions(negotiation);
      writer.StartServingWrite();
      Feed(writer, packet, false);
    }
  }
  return 0;
}
