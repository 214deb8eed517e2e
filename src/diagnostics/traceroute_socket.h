#pragma once
// The socket work of the ICMP runs that the socket layer does not offer:
// waiting for an answer with a limit that Interrupt() still cuts short, and
// reading the ICMP errors Linux queues on the sending socket itself when the
// run may not open a raw socket (IP_RECVERR, as tracepath does).
#include <poll.h>

#include <cstdint>

#include "diagnostics/traceroute_answer.h"

namespace netrove {

class CNetSocket;

enum class AnswerWait { Ready, TimedOut, Interrupted, Failed };

// Waits up to `milliseconds` for `events` on the socket. Interrupt() of the
// socket (its shutdown) ends the wait at once as Interrupted. Failed leaves
// the WinSock code in GetLastError().
AnswerWait WaitForSocket(CNetSocket& socket, short events, int milliseconds);

// Asks for the time-to-live of the ICMP answers next to each queued error.
bool EnableAnswerTtl(CNetSocket& socket);

// Takes one ICMP error from the socket's error queue without waiting. False
// when the queue holds none (entries of local origin are taken and dropped).
bool TakeQueuedTraceError(CNetSocket& socket, QueuedTraceError& out);

// Takes whatever the error queue holds; returns how many entries it took.
int DrainErrorQueue(CNetSocket& socket);

// Reads and drops one ordinary datagram that reached the probes' source
// port, without waiting.
void DropStrayDatagram(CNetSocket& socket);

}  // namespace netrove
