#pragma once
// What netrove-cli writes to a terminal. Servers send whatever bytes they
// like, and a terminal obeys the control characters among them: a hostile
// server could clear the screen, set the window title or write into the
// clipboard. On a terminal every control character except LF and TAB (a CR
// before an LF aside) is therefore shown visibly, in cat -v's notation: ^[
// for ESC, ^M for a bare CR, ^? for DEL, M-^[ for the C1 control 0x9B.
// Valid UTF-8 passes as it is; any other byte shows as its Latin-1
// character. Output that is not a terminal is written unchanged.
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace netrove::cli {

// The conversion, fed in pieces as they are written: a CR or a UTF-8
// sequence split between two pieces is held until the next one.
class CVisibleControls {
 public:
  // What to write for `bytes`.
  std::string Convert(std::string_view bytes);
  // What is still held, at the end of the output.
  std::string Finish();

 private:
  std::string held_;
};

// A stream buffer that converts what goes through it and passes the result
// to another. Safe to write from several threads.
class CVisibleControlsBuffer : public std::streambuf {
 public:
  explicit CVisibleControlsBuffer(std::streambuf& target) : target_(target) {}
  // Writes what is held.
  ~CVisibleControlsBuffer() override;

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override;
  int_type overflow(int_type byte) override;
  int sync() override;

 private:
  std::mutex mutex_;
  CVisibleControls controls_;
  std::streambuf& target_;
};

// One of the program's output streams: `stream` itself, or, when
// `descriptor` is a terminal, a stream that shows its controls visibly.
class CTerminalOutput {
 public:
  CTerminalOutput(std::ostream& stream, int descriptor);
  ~CTerminalOutput();
  CTerminalOutput(const CTerminalOutput&) = delete;
  CTerminalOutput& operator=(const CTerminalOutput&) = delete;

  std::ostream& stream() { return visible_ ? *visible_ : plain_; }

 private:
  std::ostream& plain_;
  std::unique_ptr<CVisibleControlsBuffer> buffer_;
  std::unique_ptr<std::ostream> visible_;
};

}  // namespace netrove::cli
