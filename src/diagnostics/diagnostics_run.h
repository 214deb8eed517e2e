#pragma once
// What the ping and traceroute runs do alike: turning the stored reply
// timeout into the run's, looking up a target given by name, and telling
// the failures Interrupt() causes from those worth a message.
#include <cstdint>
#include <string>

namespace netrove {

class IMainWindowReporter;
struct HostEntry;

// A socket closed by Interrupt fails with these; they are never reported.
bool IsInterruptError(int code);

// The stored timeout in seconds as milliseconds, kept within a 32-bit count.
std::int32_t ReplyTimeoutMilliseconds(std::int32_t seconds);

// Looks up `host` by name into `entry`. A failed look-up, or one without an
// address, is reported to the main window and gives false.
bool LookUpHostName(const std::string& host, IMainWindowReporter& reporter, HostEntry& entry);

}  // namespace netrove
