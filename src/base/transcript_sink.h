#pragma once
// Where a text tool's engine writes its transcript. The window applies the
// text on the GUI thread in order; the command-line front end prints it.
#include <string_view>

namespace netrove {

class ITranscriptSink {
 public:
  virtual ~ITranscriptSink() = default;
  // Appends text (CR LF line ends) at the end of the transcript. Returns once
  // the text is in the transcript's order of appends.
  virtual void AppendTranscript(std::string_view text) = 0;
};

}  // namespace netrove
