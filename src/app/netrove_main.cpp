// The netrove program: the application shell with every built-in tool.
#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>

#include "app/main_frame.h"
#include "app/netrove_app.h"
#include "app/program_catalog.h"
#include "app/screenshots.h"
#include "app/termination_signals.h"
#include "base/product.h"
#include "widgets/message_boxes.h"

namespace {

struct Invocation {
  netrove::AppOptions options;
  QString screenshotFolder;
  bool startupProbe = false;
  bool showVersion = false;
  QString usageError;  // empty when the arguments are usable
};

// A listener port option: 1 to 65535. Anything else would silently leave the
// listener on a port the system picks, where no peer finds it.
bool ReadPortOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                    std::uint16_t& port, QString& error) {
  if (!parser.isSet(option)) return true;
  const QString text = parser.value(option);
  bool isNumber = false;
  const uint value = text.toUInt(&isNumber);
  if (isNumber && value >= 1 && value <= 65535) {
    port = static_cast<std::uint16_t>(value);
    return true;
  }
  error = QStringLiteral("netrove: --%1 '%2' is not a port number (1 to 65535).")
              .arg(option.names().constFirst(), text);
  return false;
}

Invocation ParseArguments(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Netrove: a suite of Internet client tools."));
  parser.addHelpOption();
  // The version line netrove-cli prints too, not Qt's name-and-number form.
  QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                             QStringLiteral("Displays version information."));
  parser.addOption(version);
  QCommandLineOption chatPort(QStringLiteral("chat-port"),
                              QStringLiteral("Answer chat calls on this TCP port (17321)."),
                              QStringLiteral("port"));
  QCommandLineOption broadcastPort(QStringLiteral("broadcast-port"),
                                   QStringLiteral("Receive broadcasts on this UDP port (17322)."),
                                   QStringLiteral("port"));
  parser.addOption(chatPort);
  parser.addOption(broadcastPort);
  // Hidden options for the screenshots script, the start-up benchmark and
  // tests that must not collide with a running copy.
  QCommandLineOption screenshot(QStringLiteral("screenshot"), {}, QStringLiteral("folder"));
  QCommandLineOption probe(QStringLiteral("startup-probe"));
  QCommandLineOption noSplash(QStringLiteral("no-splash"));
  for (QCommandLineOption* option : {&screenshot, &probe, &noSplash}) {
    option->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(*option);
  }
  parser.process(app);

  Invocation invocation;
  invocation.screenshotFolder = parser.value(screenshot);
  invocation.startupProbe = parser.isSet(probe);
  invocation.showVersion = parser.isSet(version);
  invocation.options.showSplash = !parser.isSet(noSplash);
  if (ReadPortOption(parser, chatPort, invocation.options.chatPort, invocation.usageError)) {
    ReadPortOption(parser, broadcastPort, invocation.options.broadcastPort, invocation.usageError);
  }
  return invocation;
}

double WallClockSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// For bench/startup.sh: prints the wall-clock time once the main window's
// first paint has been handled and flushed.
class FirstPaintProbe : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || done_) return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window()->objectName() != QStringLiteral("NetroveMainFrame")) {
      return false;
    }
    done_ = true;
    QTimer::singleShot(0, this, [] {
      std::printf("first-paint %.6f\n", WallClockSeconds());
      std::fflush(stdout);
    });
    return false;
  }

 private:
  bool done_ = false;
};

// Options answered with text alone (--version, --help, a bad value): they
// must work where no display is, over ssh or in a script.
bool AnswersWithTextOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    for (const std::string_view textOnly :
         {"-v", "--version", "-h", "--help", "--help-all", "-?"}) {
      if (argument == textOnly) return true;
    }
  }
  return false;
}

// Parses the arguments on `app`: a value when the program ends here (the
// version line, a usage error; --help ends inside the parser).
std::optional<int> AnswerTextOptions(const QCoreApplication& app, Invocation& invocation) {
  invocation = ParseArguments(app);
  if (!invocation.usageError.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(invocation.usageError));
    return 2;
  }
  if (invocation.showVersion) {
    std::printf("%.*s\n", static_cast<int>(netrove::kVersionLine.size()),
                netrove::kVersionLine.data());
    return 0;
  }
  return std::nullopt;
}

void NameTheApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("Netrove"));
  QCoreApplication::setApplicationVersion(QStringLiteral("3.00 (Build 55)"));
}

}  // namespace

int main(int argc, char** argv) {
  Invocation invocation;
  if (AnswersWithTextOnly(argc, argv)) {
    QCoreApplication core(argc, argv);
    NameTheApplication();
    return AnswerTextOptions(core, invocation).value_or(0);
  }
  QApplication app(argc, argv);
  NameTheApplication();
  // Ties the windows to the installed menu entry (its icon, its name in the
  // task switcher under Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.netrove.Netrove"));
  QApplication::setQuitOnLastWindowClosed(false);
  if (const auto ended = AnswerTextOptions(app, invocation)) return *ended;

  netrove::CMessageBoxes boxes;
  if (!invocation.screenshotFolder.isEmpty()) {
    return netrove::RenderScreenshots(netrove::BuildToolCatalog(), boxes,
                                      invocation.screenshotFolder)
               ? 0
               : 1;
  }

  FirstPaintProbe probe;
  if (invocation.startupProbe) app.installEventFilter(&probe);
  netrove::CNetroveApp netrove(invocation.options, netrove::BuildToolCatalog(), boxes);
  switch (netrove.InitInstance()) {
    case netrove::CNetroveApp::StartResult::AlreadyRunning:
      return 0;
    case netrove::CNetroveApp::StartResult::Failed:
      return 1;
    case netrove::CNetroveApp::StartResult::Running:
      break;
  }
  QObject::connect(&netrove, &netrove::CNetroveApp::finished, &app, &QApplication::quit);
  netrove::CTerminationSignals termination;
  QObject::connect(&termination, &netrove::CTerminationSignals::terminationRequested, &netrove,
                   &netrove::CNetroveApp::EndOnRequest);
  const int result = app.exec();
  netrove.ExitInstance();
  return result;
}
