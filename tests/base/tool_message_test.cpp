#include "base/tool_message.h"

#include <gtest/gtest.h>

namespace netrove {
namespace {

TEST(ToolMessage, CaptionsNameTheSourceAndUnknownCodesHaveNone) {
  EXPECT_EQ(ToolMessageCaption(kSourceWinSock), "Netrove:WinSock");
  EXPECT_EQ(ToolMessageCaption(kSourceWhoAmI), "Netrove:Who am I?");
  EXPECT_EQ(ToolMessageCaption(kSourceSystemMessage), "Netrove:System Message");
  EXPECT_EQ(ToolMessageCaption(kSourceAttention), "");
  EXPECT_EQ(ToolMessageCaption(1140), "");
  EXPECT_EQ(WM_TOOL_MESSAGE, 0x0400u + 103u);
}

TEST(ToolMessage, SystemErrorTextIsNeverEmpty) {
  EXPECT_EQ(SystemErrorText(2), "No such file or directory");
  EXPECT_FALSE(SystemErrorText(987654).empty());
}

}  // namespace
}  // namespace netrove
