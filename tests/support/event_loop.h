#pragma once
// For window tests: lets the event loop deliver what is queued, for use as
// WaitUntil's step between polls.
#include <QTest>

namespace netrove::test {

inline void TurnEventLoop() { QTest::qWait(5); }

}  // namespace netrove::test
