#pragma once
// What the Finger and NicName/WhoIs windows share: the "Reply" transcript that
// keeps every answer, "Close" that reads "Interrupt" while a query runs, the
// busy state, printing, and the query engine with its finished notice. A
// window adds its fields, its buttons and the request it sends.
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "widgets/tool_view.h"

class QLineEdit;
class QPushButton;

namespace netrove {

class CQueryEngine;
class CTranscriptSink;
class IResolver;
class CTranscriptView;

class CQueryView : public CToolView {
  Q_OBJECT

 public:
  ~CQueryView() override;

  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return printTitle_; }

  QPushButton* closeButton() const { return closeButton_; }
  CTranscriptView* replyBox() const { return transcript_; }
  const CQueryEngine& engine() const { return *engine_; }

  // The port the queries go to: the tool's own, unless pointed elsewhere (a
  // test's server on a high port).
  std::uint16_t port() const { return port_; }
  void setPort(std::uint16_t port) { port_ = port; }

 protected:
  CQueryView(CToolServices& services, const QString& printTitle, std::uint16_t port,
             QWidget* parent, IResolver& resolver);

  // Goes busy and starts the query; back to idle at once when the worker
  // cannot be started.
  void startQuery(const std::string& server, std::string requestLine, bool followReferrals = false);

  // Fills `edit` from the address book ("Address..."); F1 there opens help.
  void pickAddressInto(QLineEdit* edit);

 private:
  class FinishedRelay;

  // Enables or disables every control that starts or changes a query.
  virtual void setQueryControlsEnabled(bool enabled) = 0;
  // Default button and focus when the window is idle again.
  virtual void restoreIdleFocus() = 0;

  void closeOrInterrupt();
  void returnToIdle();
  void onQueryFinished();

  QString printTitle_;
  std::uint16_t port_;
  QPushButton* closeButton_;
  CTranscriptView* transcript_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<FinishedRelay> finished_;
  std::unique_ptr<CQueryEngine> engine_;
};

}  // namespace netrove
