#pragma once
// The OpenSSL session under a secured CNetSocket. Only the socket layer uses
// it: callers see CNetSocket's Send/Recv with their usual contracts.
//
// The descriptor runs non-blocking once secured, and every wait is a poll
// of it: a shutdown() from Interrupt() wakes the poll, and the session is
// used under a lock held only while OpenSSL runs, never while waiting, so a
// reader blocked for a reply does not hold up a sender on another thread.
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

#include "base/net_socket.h"
#include "base/tls.h"

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

namespace netrove {

class CTlsChannel {
 public:
  // Runs the client handshake on the connected `descriptor` and checks the
  // certificate. Nothing, with `report` saying why, when no trusted session
  // came about.
  static std::unique_ptr<CTlsChannel> Handshake(int descriptor, const TlsClientOptions& options,
                                                int timeoutMs, const std::atomic<bool>& interrupted,
                                                TlsHandshakeReport& report);
  ~CTlsChannel();
  CTlsChannel(const CTlsChannel&) = delete;
  CTlsChannel& operator=(const CTlsChannel&) = delete;

  // `timeoutMs` bounds the wait for data (0: none); MSG_DONTWAIT and
  // MSG_PEEK are honoured.
  SocketCount Read(void* buffer, std::size_t size, int flags, int timeoutMs);
  SocketCount Write(const void* data, std::size_t size, int flags);
  // Decrypted bytes wait to be read: the descriptor may show nothing.
  bool HasPending();
  // Sends close_notify when it can go at once; the peer then sees an
  // orderly end of the secure stream.
  void CloseNotify();
  std::shared_ptr<const TlsSession> Session();
  // The peer ended with close_notify, not by simply closing the connection
  // (which a third party could have done to cut the data short).
  bool EndedCleanly();

 private:
  CTlsChannel(int descriptor, const std::atomic<bool>& interrupted);
  // Waits for the descriptor as OpenSSL asked (`sslError` is WANT_READ or
  // WANT_WRITE); an errno-free WinSock code, 0 when ready.
  int Await(int sslError, int timeoutMs);
  SocketCount Failure(int sslError, long result);

  int descriptor_;
  const std::atomic<bool>& interrupted_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  std::mutex mutex_;  // one OpenSSL call at a time on ssl_
};

}  // namespace netrove
