// Placeholder entry point; the application shell replaces it.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Netrove"));
  window.show();
  return app.exec();
}
