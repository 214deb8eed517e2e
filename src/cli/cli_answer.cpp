#include "cli/cli_answer.h"

#include <ostream>

namespace netrove::cli {

void AnswerReporter::PostToolMessage(int source, std::string text) {
  if (source != answerSource_) {
    errors_.PostToolMessage(source, std::move(text));
    return;
  }
  io_.out << text;
  if (text.empty() || text.back() != '\n') io_.out << "\r\n";
  io_.out << std::flush;
}

}  // namespace netrove::cli
