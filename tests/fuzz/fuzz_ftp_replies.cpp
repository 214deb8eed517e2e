// Feeds arbitrary server bytes, split where the first byte says, to the FTP
// client's reply reader and hands every reply to the reply handler of a
// connection that is not connected (so nothing is sent), as a hostile server
// would deliver them: the handler must never crash or read past a reply.
// Each whole reply is also read as a FEAT answer, and its text as the
// answers to SIZE and MDTM.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/net_socket.h"
#include "base/transcript_sink.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_features.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_reply_reader.h"

namespace {

using namespace netrove;

class Ignore : public ITranscriptSink,
               public IMainWindowReporter,
               public IFtpPageNotifier,
               public IFtpPanes,
               public IFtpQuestions {
 public:
  void AppendTranscript(std::string_view) override {}
  void PostToolMessage(int, std::string) override {}
  void PostSystemError(int) override {}
  void PostAttention() override {}
  void NotifyPage(FtpPage, int) override {}
  void Beep() override {}
  void Release() override {}
  void OperationEnded(std::uint64_t, FtpOperationKind, FtpOutcome) override {}
  void ListingReceived(std::string, std::string) override {}
  void SetNewItemLabel(std::string) override {}
  void ClearRemoteTree() override {}
  void TransferProgress(std::uint64_t) override {}
  bool ConfirmReplace(std::string_view) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static Ignore ignore;
  static CFtpConnection connection(ignore, ignore, ignore, ignore, ignore, SystemResolver());
  const std::size_t pieceSize = data[0] % 32 + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  CFtpReplyReader reader;
  std::vector<FtpServerLine> lines;
  for (std::size_t at = 0; at < stream.size(); at += pieceSize) {
    lines.clear();
    const bool framed = reader.Feed(stream.substr(at, pieceSize), lines);
    for (const auto& line : lines) {
      if (!line.isReply) continue;
      if (line.code < 0 || line.code > 999) __builtin_trap();
      const std::string_view first = line.firstLine;
      const std::string_view text = first.size() > 5 ? first.substr(5) : std::string_view();
      (void)ParsePassiveReply(text);
      (void)ParseExtendedPassiveReply(text);
      const auto features = CFtpFeatures::FromReply(line.transcript);
      if (features.Has("")) __builtin_trap();  // every feature has a keyword
      (void)features.Parameters("MLST");
      (void)ParseFtpSize(text);
      (void)ParseFtpTime(text);
      connection.ReplyDispatch(line.code, text);
    }
    if (!framed) break;
  }
  return 0;
}
