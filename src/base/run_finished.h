#pragma once
// How a diagnostics run tells its window that both of its workers have ended:
// the command the window receives (ping 1149, traceroute 1150). The window
// implements it by posting to its GUI thread; the command-line front end by
// waking its main thread.
namespace netrove {

inline constexpr int kPingFinishedCommand = 1149;
inline constexpr int kTraceRouteFinishedCommand = 1150;

class IRunFinishedListener {
 public:
  virtual ~IRunFinishedListener() = default;
  // Called once per run on the run's last worker thread, as its last act
  // with the engine's state (the thread itself may still be ending).
  virtual void PostRunFinished(int commandId) = 0;
};

}  // namespace netrove
