#pragma once
// The view of a tool window, hosted by the main window in a CMyMDIChildWnd.
// It also carries what the tool's document holds for the shell: the title and
// the busy flag (a connection or run in progress), which the main window reads
// when it is asked to close.
#include <QString>
#include <QWidget>

#include "base/tool_message.h"

class QPrinter;

namespace netrove {

class CTranscriptView;

// What the shell gives every tool window.
class CToolServices {
 public:
  virtual ~CToolServices() = default;
  // The main window's receiver of WM_TOOL_MESSAGE; safe from any thread.
  virtual IMainWindowReporter& reporter() = 0;
  // Opens the help page of a context id (0x10000 + command id for a tool).
  virtual void showHelp(int contextId) = 0;
};

class CToolView : public QWidget {
  Q_OBJECT

 public:
  explicit CToolView(CToolServices& services, QWidget* parent = nullptr);

  // The document's modified flag: set while network work is in progress.
  bool isBusy() const { return busy_; }
  void setBusy(bool busy);

  // The Close item of the window's system menu; while it is greyed, the frame
  // refuses to close (close box, Ctrl+F4).
  bool isCloseEnabled() const { return closeEnabled_; }
  void setCloseEnabled(bool enabled);

  QString documentTitle() const { return title_; }
  void setDocumentTitle(const QString& title);

  virtual int helpContext() const = 0;

  // The program ends while this window stays open (a SIGTERM during a run,
  // with nobody to answer the close): keep now what closing the window
  // would have saved.
  virtual void saveBeforeExit() {}

  // Tools with a printable transcript return it and the header title; Print
  // is offered while canPrint() holds (by default: a transcript and no run).
  virtual CTranscriptView* printableTranscript() const { return nullptr; }
  virtual QString printTitle() const { return {}; }
  virtual bool canPrint() const { return printableTranscript() != nullptr && !busy_; }
  // What File > Print and Print Preview of the main window print. By default
  // the transcript, whose selection the print dialog offers; a tool whose
  // printable view is another one (the newsreader's article) overrides
  // these with canPrint() and printTitle().
  virtual bool hasPrintSelection() const;
  // Prints on a ready printer: the selection only when the printer's range
  // is the selection. Returns the number of pages, 0 when nothing printed.
  virtual int printTo(QPrinter& printer) const;
  // The print dialog, then the pages; the preview window.
  void print(QWidget* dialogParent) const;
  void printPreview(QWidget* dialogParent) const;

 signals:
  void busyChanged(bool busy);
  void documentTitleChanged(const QString& title);
  void printEnabledChanged();
  // The tool's own Close button, pressed while idle: the frame closes.
  void closeRequested();

 protected:
  CToolServices& services() { return services_; }

 private:
  CToolServices& services_;
  bool busy_ = false;
  bool closeEnabled_ = true;
  QString title_;
};

}  // namespace netrove
