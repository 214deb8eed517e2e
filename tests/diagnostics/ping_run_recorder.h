#pragma once
// The ping engine wired to recorders, and what the ping engine tests share.
#include <string>

#include "diagnostics/engine_harness.h"
#include "diagnostics/ping_engine.h"

namespace netrove::test {

using PingHarness = EngineHarness<CPingEngine, PingRequest>;

inline PingRequest LoopbackRequest(int count, int size = 64) {
  PingRequest request;
  request.host = "127.0.0.1";
  request.requestLimit = count;
  request.packetSize = size;
  return request;
}

// Number of occurrences of `needle` in `text`.
inline int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++count;
  return count;
}

}  // namespace netrove::test
