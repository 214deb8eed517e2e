#pragma once
// Turns the bytes a Finger or WhoIs server sends into transcript text: a line
// feed that does not follow a carriage return gets one, also when the CR
// ended the previous piece, and control characters other than CR, LF and
// TAB are written in caret notation ("^[" for ESC, "^@" for NUL, "^?" for
// DEL), so a server can neither steer a terminal nor hide text behind a zero
// byte. Every byte received shows up; none is dropped.
#include <string>
#include <string_view>

namespace netrove {

class CReplyTextFilter {
 public:
  // The text for the next piece of the answer, in the order received.
  std::string Convert(std::string_view received);

 private:
  bool afterCarriageReturn_ = false;
};

}  // namespace netrove
