#include "widgets/transcript_saver.h"

#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

#include "base/transcript_text.h"
#include "widgets/message_boxes.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

const QString kLfFilter = QStringLiteral("Text, LF line ends (*.txt)");
const QString kCrLfFilter = QStringLiteral("Text, CR LF line ends (*.txt)");

}  // namespace

QString WriteTranscriptFile(const CTranscriptView& view, const QString& path,
                            TranscriptLineEnds lineEnds) {
  const std::string text =
      TranscriptFileText(view.text(), lineEnds == TranscriptLineEnds::CrLf ? "\r\n" : "\n");
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (file.write(text.data(), static_cast<qint64>(text.size())) !=
      static_cast<qint64>(text.size())) {
    const QString error = file.errorString();
    file.cancelWriting();
    return error;
  }
  if (!file.commit()) return file.errorString();
  return {};
}

void SaveTranscriptAs(const CTranscriptView& view, const QString& suggestedName,
                      const QString& caption, IMessageBoxes& boxes, QWidget* parent) {
  QString filter = kLfFilter;
  const QString path =
      QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"),
                                   QDir::home().filePath(suggestedName + QStringLiteral(".txt")),
                                   kLfFilter + QStringLiteral(";;") + kCrLfFilter, &filter);
  if (path.isEmpty()) return;
  const QString error = WriteTranscriptFile(
      view, path, filter == kCrLfFilter ? TranscriptLineEnds::CrLf : TranscriptLineEnds::Lf);
  if (!error.isEmpty()) {
    boxes.information(
        parent, caption,
        QStringLiteral("The transcript could not be saved as %1: %2").arg(path, error));
  }
}

}  // namespace netrove
