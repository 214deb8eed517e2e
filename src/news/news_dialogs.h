#pragma once
// The questions a newsreader window asks and the sounds it makes, behind an
// interface so tests can answer them instead of blocking on modal dialogs.
#include <QString>
#include <optional>

#include "base/tls.h"

class QWidget;

namespace netrove {

class INewsDialogs {
 public:
  virtual ~INewsDialogs() = default;
  // The host dialog "NNTP...": the server typed, nothing on Cancel.
  virtual std::optional<QString> askServer(QWidget* owner, const QString& current) = 0;
  // "Refresh the List": true for Yes.
  virtual bool askRefreshList(QWidget* owner) = 0;
  // "Retrieving Article Headers" holding `proposed`: the number chosen (at
  // most `maximum`), nothing for No.
  virtual std::optional<long> askHeaderCount(QWidget* owner, long proposed, long maximum) = 0;
  // "Find": the text to look for, nothing on Cancel.
  virtual std::optional<QString> askFindText(QWidget* owner, const QString& current) = 0;
  // The password of `user` at `server`; nothing on Cancel.
  virtual std::optional<QString> askPassword(QWidget* owner, const QString& user,
                                             const QString& server) = 0;
  // The certificate of `host` was not trusted: true when the user trusts it
  // for that host (Cancel is the default). A changed certificate is only
  // shown, never offered.
  virtual bool askTrust(QWidget* owner, const TlsHandshakeReport& report, const QString& host) = 0;
  // A box captioned `caption` (plain text).
  virtual void information(QWidget* owner, const QString& caption, const QString& text) = 0;
  // MessageBeep with MB_ICONHAND (true) or MB_ICONEXCLAMATION (false).
  virtual void beep(bool hand) = 0;
};

// The real dialogs.
INewsDialogs& RealNewsDialogs();

}  // namespace netrove
