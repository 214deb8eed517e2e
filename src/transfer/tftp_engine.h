#pragma once
// One TFTP transfer, either role, as a state machine. It is fed with the
// packets that arrive and with the ends of its waits, and leaves behind the
// packet to send; the caller owns the socket and the clock. So the whole
// protocol (blocks, acknowledgements, retransmission, time-outs) runs in tests
// without a socket and without sleeping.
//
// Only the peer is listened to: a packet from any other address or port is
// dropped and the wait goes on, so nobody else can inject data or end the
// transfer. Block numbers are compared modulo 65536, so transfers of more
// than 65535 blocks roll over cleanly.
//
// Options: a client that asks for some checks the server's OACK (refusing a
// bad one with ERROR 8) and runs with the classic values when the server
// answers without one; a server answers the options it grants with an OACK.
// With a window of several blocks the sender sends that many before it waits
// for an ACK, the receiver acknowledges each full window (and the last
// block), and a lost block makes both go back to the last block acknowledged.
#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/net_socket.h"
#include "transfer/tftp_netascii.h"
#include "transfer/tftp_options.h"
#include "transfer/tftp_packet.h"
#include "transfer/tftp_timer.h"

namespace netrove {

class ITftpFile;

enum class TftpRole { Client, Server };
enum class TftpState { Running, Finished, Failed };

// Why a transfer failed, for the caller to show or log.
struct TftpFailure {
  enum class Kind {
    None,
    Message,      // a TFTP text (source 1134)
    SystemError,  // an errno value (source 1133)
    SocketError,  // a WinSock code, set by the socket runner
    Silent,       // interrupted: nothing to show
  };
  Kind kind = Kind::None;
  std::string text;
  int code = 0;
};

// What a client's window shows while the transfer runs. Called on the thread
// that feeds the engine.
class ITftpProgress {
 public:
  virtual ~ITftpProgress() = default;
  // The server has answered.
  virtual void OnInProgress() = 0;
  // After each block handled: data bytes so far and the time since the start.
  virtual void OnBytesTransferred(std::uint64_t bytes, std::uint32_t elapsedMilliseconds) = 0;
};

// "Bytes transferred: %ld   in   %ld.%03ld seconds."
std::string FormatTftpTransferLine(std::uint64_t bytes, std::uint32_t elapsedMilliseconds);

class CTftpEngine {
 public:
  // `peer`: client: the server's request address (port 69 by default);
  // server: the requester. `now` is the tick the transfer starts at.
  CTftpEngine(TftpRole role, std::unique_ptr<ITftpFile> file, TftpMode mode,
              const SocketAddress& peer, std::uint32_t now);
  virtual ~CTftpEngine();
  CTftpEngine(const CTftpEngine&) = delete;
  CTftpEngine& operator=(const CTftpEngine&) = delete;

  void SetProgress(ITftpProgress* progress) { progress_ = progress; }
  // How long a silent peer is waited for in all (CTftpTimer::SetGiveUpAfter).
  void SetGiveUpAfter(std::int32_t milliseconds) { timer_.SetGiveUpAfter(milliseconds); }

  // Client: sends the read (get) or write (put) request, with the options
  // asked for.
  void StartRequest(TftpOpcode opcode, std::string_view remoteName, const TftpOptions& asked = {});
  // Server: the negotiated values and the OACK's options (none: no OACK).
  void UseOptions(const TftpNegotiation& negotiation);
  // Server: a read request is served as if ACK 0 had come (block 1 goes
  // out), or after the OACK has been acknowledged; a write request is
  // answered with ACK 0, or with the OACK.
  void StartServingRead();
  void StartServingWrite();

  // A datagram from `from` arrived at tick `now`.
  void OnPacket(std::span<const std::uint8_t> packet, const SocketAddress& from, std::uint32_t now);
  // The wait that WaitRemaining began has run out.
  void OnTimeout(std::uint32_t now);
  // Milliseconds left of the wait in progress; begins the next wait (with
  // the timer's time-out) when none is in progress.
  std::uint32_t WaitRemaining(std::uint32_t now);

  // The next packet to send now, if any (empty otherwise); taking it moves
  // on to the one after (a window sends several).
  std::span<const std::uint8_t> TakeOutgoing();

  // Ends the transfer from outside (interrupt, socket failure).
  void Fail(TftpFailure failure);

  TftpState state() const { return state_; }
  const TftpFailure& failure() const { return failure_; }
  const SocketAddress& peer() const { return peer_; }
  std::uint64_t bytesTransferred() const { return bytes_; }
  // Datagrams dropped because they came from someone other than the peer.
  std::uint32_t straysDropped() const { return strays_; }
  // The values the transfer runs with (after the negotiation, if any).
  const TftpTransferParameters& parameters() const { return parameters_; }

 private:
  bool AcceptSource(const SocketAddress& from);
  void Dispatch(const TftpReceived& received, std::size_t packetSize);
  void HandleData(std::uint16_t block, std::span<const std::uint8_t> data);
  void HandleAck(std::uint16_t block, std::size_t packetSize);
  void HandleError(std::uint16_t code, std::span<const std::uint8_t> text);
  void HandleOack(std::span<const std::uint8_t> options);
  void NoteAnswered();
  void Apply(const TftpTransferParameters& parameters);
  bool StoreData(std::span<const std::uint8_t> data);
  void AcknowledgeBlock(std::uint16_t block, bool now);
  void FillWindow();
  bool ReadBlock();
  void Send(TftpPacket packet);
  void Finish();
  void FailWith(std::string_view text);

  TftpRole role_;
  std::unique_ptr<ITftpFile> file_;
  TftpMode mode_;
  SocketAddress peer_;
  bool peerPortSettled_;  // a client learns the server's transfer port from its first answer
  std::uint32_t startTime_;
  ITftpProgress* progress_ = nullptr;

  TftpState state_ = TftpState::Running;
  TftpFailure failure_;
  // This side sends the file: a client's put, a server's get.
  bool sending_ = false;
  std::uint16_t block_ = 0;  // receiving: the block expected; sending: the block last sent
  // Sending: the last block acknowledged (65535 before ACK 0).
  std::uint16_t acked_ = 0;
  std::uint16_t lastOpcodeSent_ = 0;
  bool lastBlockRead_ = false;  // sending: the short block that ends the file is out
  TftpOptions asked_;
  std::optional<std::uint64_t> sentSize_;
  TftpTransferParameters parameters_;
  TftpOptionList oack_;
  std::size_t blocksUnacknowledged_ = 0;  // receiving: blocks since the last ACK sent
  bool gapAcknowledged_ = false;          // receiving: a lost block was reported once
  std::uint64_t bytes_ = 0;
  std::uint32_t strays_ = 0;
  bool answered_ = false;

  // What a time-out sends again: the sender's unacknowledged window, or the
  // last request, ACK or OACK. `nextOut_` is the next one to hand out.
  std::vector<TftpPacket> burst_;
  std::size_t nextOut_ = 0;
  std::vector<std::uint8_t> blockBuffer_;
  CTftpTimer timer_;
  bool waiting_ = false;
  std::uint32_t waitEnd_ = 0;

  CNetasciiEncoder encoder_;
  CNetasciiDecoder decoder_;
  std::vector<std::uint8_t> decoded_;
};

}  // namespace netrove
