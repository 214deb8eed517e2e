#include "base/tool_message.h"

#include <cstring>

namespace netrove {

std::optional<std::string_view> ToolMessageSourceName(int source) {
  switch (source) {
    case kSourceQuoteOfTheDay:
      return "Quote of the Day";
    case kSourceDaytime:
      return "Daytime";
    case kSourceWhoAmI:
      return "Who am I?";
    case kSourceSoftware:
      return "Software";
    case kSourceSystemMessage:
      return "System Message";
    case kSourceTftp:
      return "TFTP";
    case kSourceHardware:
      return "Hardware";
    case kSourceWinSock:
      return "WinSock";
    case kSourceFtp:
      return "FTP";
    case kSourceNewsreader:
      return "Newsreader";
    default:
      return std::nullopt;
  }
}

std::string ToolMessageCaption(int source) {
  const auto name = ToolMessageSourceName(source);
  if (!name) return {};
  return "Netrove:" + std::string(*name);
}

std::string SystemErrorText(int errorCode) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not use the buffer.
  const char* text = strerror_r(errorCode, buffer, sizeof buffer);
  if (text == nullptr || *text == '\0')
    return "Unknown system error " + std::to_string(errorCode) + ".";
  return text;
}

}  // namespace netrove
