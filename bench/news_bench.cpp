// The newsreader's state at sizes a large server gives: a LIST of 100,000
// groups framed and merged into the state, a newsrc of 50,000 groups (one
// with 10,000 ranges) loaded and written, and a catch-up of a group numbered
// 1..50,000,000.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "base/reply_framer.h"
#include "base/tool_message.h"
#include "news/news_server.h"

namespace netrove {
namespace {

class SilentReporter : public IMainWindowReporter {
 public:
  void PostToolMessage(int, std::string) override {}
  void PostSystemError(int) override {}
  void PostAttention() override {}
};

std::string ListReply(int groups) {
  std::string text = "215 list follows\r\n";
  for (int i = 0; i < groups; ++i) {
    text += "group.number" + std::to_string(i) + " 100 1 y\r\n";
  }
  return text + ".\r\n";
}

void BM_ListOf100000Groups(benchmark::State& state) {
  const std::string reply = ListReply(100'000);
  for (auto _ : state) {
    CReplyFramer framer(NonReplyLines::Skip);
    Reply status;
    std::string block;
    bool blockEnded = false;
    // As the socket delivers it: 64 KiB at a time.
    for (std::size_t at = 0; at < reply.size() && !blockEnded; at += 65536) {
      framer.Feed(std::string_view(reply).substr(at, 65536));
      if (!framer.InBlock() && framer.Next(status) == ReplyStatus::Complete) {
        framer.StartBlock(reply.size());
      }
      std::string_view line;
      BlockStatus result;
      while ((result = framer.NextBlockLine(line)) == BlockStatus::Line) {
        block.append(line);
        block += "\r\n";
      }
      blockEnded = result == BlockStatus::End;
    }
    CNewsServer server;
    AddGroupsFromList(server, block);
    benchmark::DoNotOptimize(server.groups.size());
  }
}
BENCHMARK(BM_ListOf100000Groups)->Unit(benchmark::kMillisecond);

std::string LargeNewsrc() {
  std::string text;
  std::string scattered = "busy.group:";
  for (int i = 0; i < 10'000; ++i) {
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about the
    // temporaries of one chained expression.
    scattered += i == 0 ? ' ' : ',';
    scattered += std::to_string(i * 3 + 1);
    scattered += '-';
    scattered += std::to_string(i * 3 + 2);
  }
  text += scattered + "\r\n";
  for (int i = 0; i < 49'999; ++i) text += "group.number" + std::to_string(i) + ": 1-120,125\r\n";
  return text;
}

std::filesystem::path NewsrcFile() {
  const auto folder = std::filesystem::temp_directory_path() / "netrove_news_bench";
  std::filesystem::create_directories(folder);
  return folder / "newsrc";
}

void BM_LoadNewsrcOf50000Groups(benchmark::State& state) {
  SilentReporter reporter;
  CNewsServer source;
  source.newsrcPath = NewsrcFile();
  ParseNewsrc(LargeNewsrc(), source);
  (void)WriteNewsrc(source, reporter);
  for (auto _ : state) {
    CNewsServer server;
    server.newsrcPath = NewsrcFile();
    LoadNewsrc(server, reporter);
    server.groups.at("busy.group").Expand();
    benchmark::DoNotOptimize(server.groups.size());
  }
}
BENCHMARK(BM_LoadNewsrcOf50000Groups)->Unit(benchmark::kMillisecond);

void BM_WriteNewsrcOf50000Groups(benchmark::State& state) {
  SilentReporter reporter;
  for (auto _ : state) {
    state.PauseTiming();
    CNewsServer server;
    server.newsrcPath = NewsrcFile();
    ParseNewsrc(LargeNewsrc(), server);
    CNewsgroup& busy = server.groups.at("busy.group");
    busy.Expand();
    busy.MarkRead(100'000);  // changed: rebuilt from its 10,001 ranges
    state.ResumeTiming();
    benchmark::DoNotOptimize(WriteNewsrc(server, reporter));
  }
}
BENCHMARK(BM_WriteNewsrcOf50000Groups)->Unit(benchmark::kMillisecond);

void BM_CatchUpOf50000000Articles(benchmark::State& state) {
  for (auto _ : state) {
    CNewsgroup group(": 5,70,9000");
    group.Expand();
    group.CatchUp(1, 50'000'000);
    benchmark::DoNotOptimize(group.Read().Ranges().size());
  }
  CNewsgroup group(":");
  group.CatchUp(1, 50'000'000);
  state.counters["ranges"] = static_cast<double>(group.Read().Ranges().size());
}
BENCHMARK(BM_CatchUpOf50000000Articles)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace netrove

BENCHMARK_MAIN();
