// The Unix listing parser on a 100,000-entry LIST answer (goal: parsed and
// sorted well under a second) and on one line of 10 MB.
#include <benchmark/benchmark.h>

#include <string>

#include "transfer/ftp_listing.h"

namespace {

std::string ListingOf(int entries) {
  std::string text = "total 1\r\n";
  for (int i = 0; i < entries; ++i) {
    text += (i % 7 == 0 ? "drwxr-xr-x" : "-rw-r--r--");
    text += "   1 owner group    4096 Jan  1 12:00 Name " + std::to_string((i * 7919) % entries) +
            ".txt\r\n";
  }
  return text;
}

void BM_ListingOf100000(benchmark::State& state) {
  const std::string text = ListingOf(100000);
  for (auto _ : state) benchmark::DoNotOptimize(netrove::ParseListing(text));
}
BENCHMARK(BM_ListingOf100000)->Unit(benchmark::kMillisecond);

void BM_LineOf10MB(benchmark::State& state) {
  const std::string text =
      "-rw-r--r-- 1 a b 1 Jan 1 12:00 " + std::string(10 * 1024 * 1024, 'n') + "\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(netrove::ParseListing(text));
}
BENCHMARK(BM_LineOf10MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
