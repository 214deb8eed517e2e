#pragma once
// What the Ping and traceroute window tests share: the shell's services
// recorded, a resolver that knows no names, and ways to click the widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "base/net_socket.h"
#include "base/settings_store.h"
#include "support/fake_tool_services.h"
#include "support/recording_reporter.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/tool_view.h"

namespace netrove::test {

// A number the window's Customize page stored under the tool's key.
inline std::optional<std::uint32_t> StoredDword(std::string_view toolName, std::string_view value) {
  std::uint32_t number = 0;
  const auto key = OpenToolKey(toolName, false);
  if (!key || !key->ReadDword(value, number)) return std::nullopt;
  return number;
}

using FakeServices = FakeToolServices;

// Names resolve nowhere, so a run ends at once without any privilege.
class NoNames : public IResolver {
 public:
  SocketStatus HostByName(const std::string&, HostEntry&) override { return {WSAHOST_NOT_FOUND}; }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry&) override { return {WSAHOST_NOT_FOUND}; }
};

// Clicks a check box or radio button on its indicator: a box stretched over
// its row takes no clicks beyond its text.
inline void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// What the host prompt showed when it was answered.
struct AnsweredPrompt {
  QString caption;
  int helpContext = 0;
};

// Clicks the run button, types `host` into the prompt it opens and accepts.
inline AnsweredPrompt AnswerHostPrompt(QAbstractButton* runButton, const QString& host) {
  AnsweredPrompt seen;
  QTimer::singleShot(0, [&] {
    auto* prompt = qobject_cast<CHostPromptDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(prompt, nullptr);
    seen = {prompt->windowTitle(), prompt->helpContextId()};
    QTest::keyClicks(prompt->findChild<QLineEdit*>(), host);
    prompt->accept();
  });
  QTest::mouseClick(runButton, Qt::LeftButton);
  return seen;
}

}  // namespace netrove::test
