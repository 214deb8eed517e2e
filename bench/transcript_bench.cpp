// Transcript appends and print layout at the sizes of a long run.
//
// Appends: 200,000 lines of 60 bytes into an offscreen transcript, against
// the naive append that replaces the whole text each time (setPlainText of
// everything, then scrolling back to the first visible line). The naive one
// is quadratic, so it runs on fewer lines and its time for 200,000 lines is
// extrapolated from its per-line growth (the "extrapolated_200k_s" counter).
//
// Layout: a 5 MB transcript broken into pages with the printer's fonts.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <string>

#include "base/print_layout.h"
#include "base/product.h"
#include "widgets/print_painter.h"
#include "widgets/transcript_printer.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

// 60 bytes with its CR LF.
std::string ReplyLine(int sequence) {
  std::string line =
      "Reply from 127.0.0.1: bytes=64 time<10ms TTL=64 seq=" + std::to_string(sequence);
  line.resize(58, ' ');
  return line + "\r\n";
}

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// The event loop runs between appends about as often as a screen refreshes:
// the box takes the new lines and repaints.
class CEventLoopPacer {
 public:
  void RunWhenDue() {
    if (Clock::now() - last_ < std::chrono::milliseconds(16)) return;
    Run();
  }
  void Run() {
    const auto start = Clock::now();
    QApplication::processEvents();
    last_ = Clock::now();
    slowestMs_ = std::max(slowestMs_, Milliseconds(last_ - start));
  }
  double slowestMs() const { return slowestMs_; }

 private:
  Clock::time_point last_ = Clock::now();
  double slowestMs_ = 0;
};

void BM_TranscriptAppend(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  double slowestMs = 0;
  double slowestOfLastThousandMs = 0;
  double slowestRepaintMs = 0;
  for (auto _ : state) {
    CTranscriptView view;
    view.resize(600, 400);
    view.show();
    CEventLoopPacer pacer;
    for (int sequence = 0; sequence < lines; ++sequence) {
      const std::string line = ReplyLine(sequence);
      const auto start = Clock::now();
      view.AppendTranscript(line);
      const double ms = Milliseconds(Clock::now() - start);
      slowestMs = std::max(slowestMs, ms);
      if (sequence >= lines - 1000) slowestOfLastThousandMs = std::max(slowestOfLastThousandMs, ms);
      pacer.RunWhenDue();
    }
    pacer.Run();  // the last lines reach the box
    slowestRepaintMs = pacer.slowestMs();
    if (view.document()->blockCount() != lines + 1) state.SkipWithError("lines missing");
  }
  state.counters["slowest_append_ms"] = slowestMs;
  state.counters["slowest_of_last_1000_ms"] = slowestOfLastThousandMs;
  state.counters["slowest_event_loop_pass_ms"] = slowestRepaintMs;
}
BENCHMARK(BM_TranscriptAppend)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_NaiveWholeTextAppend(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  double slowestOfLastHundredMs = 0;
  Clock::duration total{};
  for (auto _ : state) {
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setUndoRedoEnabled(false);
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    view.resize(600, 400);
    view.show();
    CEventLoopPacer pacer;
    std::string whole;
    const auto start = Clock::now();
    for (int sequence = 0; sequence < lines; ++sequence) {
      const auto appendStart = Clock::now();
      whole += ReplyLine(sequence);
      const int top = view.verticalScrollBar()->value();
      view.setPlainText(QString::fromUtf8(whole.data(), static_cast<qsizetype>(whole.size())));
      view.verticalScrollBar()->setValue(top);
      const double ms = Milliseconds(Clock::now() - appendStart);
      if (sequence >= lines - 100) slowestOfLastHundredMs = std::max(slowestOfLastHundredMs, ms);
      pacer.RunWhenDue();
    }
    pacer.Run();
    total += Clock::now() - start;
  }
  // n appends of a text growing by one line cost about c * n^2.
  const double seconds = std::chrono::duration<double>(total).count();
  const double scale = 200000.0 / lines;
  state.counters["extrapolated_200k_s"] = seconds * scale * scale;
  state.counters["slowest_of_last_100_ms"] = slowestOfLastHundredMs;
}
BENCHMARK(BM_NaiveWholeTextAppend)
    ->Arg(2000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

std::string FiveMegabyteTranscript() {
  std::string text;
  const std::size_t size = 5u << 20;
  text.reserve(size + 400);
  for (int sequence = 0; text.size() < size; ++sequence) {
    text += ReplyLine(sequence);
    if (sequence % 50 == 0) {
      text += "A long line that does not fit the page, so it is broken and justified: " +
              std::string(3, ' ') + std::string(200, 'x') + " and some words at its end\r\n";
    }
  }
  return text;
}

void BM_LayoutFiveMegabytes(benchmark::State& state) {
  const std::string text = FiveMegabyteTranscript();
  QTemporaryDir folder;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(folder.filePath(QStringLiteral("layout.pdf")));
  printer.setPageSize(QPageSize(QPageSize::Letter));
  std::size_t pages = 0;
  for (auto _ : state) {
    const CQtTextMeasurer measurer(&printer);
    const PageModel model = BuildPageModel(GeometryOf(printer), measurer);
    pages = LayoutPrintedPages(text, model, measurer, "Ping", std::string(kPrintFooter)).size();
    benchmark::DoNotOptimize(pages);
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["megabytes"] = text.size() / 1048576.0;
}
BENCHMARK(BM_LayoutFiveMegabytes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PrintFiveMegabytesToPdf(benchmark::State& state) {
  const std::string text = FiveMegabyteTranscript();
  QTemporaryDir folder;
  int pages = 0;
  for (auto _ : state) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder.filePath(QStringLiteral("print.pdf")));
    printer.setPageSize(QPageSize(QPageSize::Letter));
    pages = PrintTextTo(printer, text, QStringLiteral("Ping"));
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintFiveMegabytesToPdf)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace netrove

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string runtime = "/tmp/netrove-bench-XXXXXX";
  if (mkdtemp(runtime.data()) != nullptr) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rmdir(runtime.c_str());
  return 0;
}
