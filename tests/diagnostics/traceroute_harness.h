#pragma once
// A traceroute engine wired to recorders, and the pieces the engine tests
// share: a private loopback to trace over and the pattern of a hop line.
#include <memory>
#include <regex>
#include <string>

#include "diagnostics/engine_harness.h"
#include "diagnostics/netns_lab.h"
#include "diagnostics/traceroute_engine.h"
#include "support/scoped_home.h"

namespace netrove::test {

using TraceHarness = EngineHarness<CTraceRouteEngine, TraceRouteRequest>;

inline TraceRouteRequest TraceTowards(const std::string& host, int maximumTtl = 30,
                                      int timeoutMs = 2000) {
  TraceRouteRequest request;
  request.host = host;
  request.maximumTtl = maximumTtl;
  request.replyTimeoutMs = timeoutMs;
  return request;
}

// One hop line: the number, one responder and `probes` times, each time
// possibly followed by `mark`.
inline std::string HopLinePattern(const std::string& hop, const std::string& responder, int probes,
                                  const std::string& mark = "") {
  std::string times;
  for (int i = 0; i < probes; ++i) times.append("  (<10|[0-9]{3,}) ms").append(mark);
  std::string dotted;  // built, not inserted into: GCC 12 at -O2 warns on insert (-Wrestrict)
  for (const char c : responder) {
    if (c == '.') dotted += '\\';
    dotted += c;
  }
  return hop + "   " + dotted + times + "\r\n";
}

inline bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_search(text, std::regex(pattern));
}

// A loopback of the test's own when it may create one (root): raw sockets
// there see no ICMP of other programs. Without the privilege the engine
// reads its answers from its own socket's error queue, which no one else
// reaches, and the host's loopback serves.
class PrivateLoopback {
 public:
  PrivateLoopback() {
    if (!IsPrivileged()) return;
    lab_ = std::make_unique<NetnsLab>(std::vector<std::string>{"solo"});
    if (lab_->ok()) inside_ = std::make_unique<ScopedNetns>(lab_->name("solo"));
  }
  bool ok() const { return !lab_ || (lab_->ok() && inside_ && inside_->ok()); }
  NetnsLab* lab() const { return lab_.get(); }

 private:
  std::unique_ptr<NetnsLab> lab_;
  std::unique_ptr<ScopedNetns> inside_;
};

}  // namespace netrove::test
