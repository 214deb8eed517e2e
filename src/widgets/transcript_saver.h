#pragma once
// File > Save As... of a tool window: its transcript as a UTF-8 text file,
// with the line ends the user chooses (LF for Linux tools, CR LF for a file
// read elsewhere).
#include <QString>

class QWidget;

namespace netrove {

class CTranscriptView;
class IMessageBoxes;

enum class TranscriptLineEnds { Lf, CrLf };

// Writes the transcript to `path` whole or not at all (a temporary file
// renamed over it). The empty string on success, else why it failed.
QString WriteTranscriptFile(const CTranscriptView& view, const QString& path,
                            TranscriptLineEnds lineEnds);

// Asks for the file and its line ends, then writes it; a failure is shown
// in a box captioned `caption`.
void SaveTranscriptAs(const CTranscriptView& view, const QString& suggestedName,
                      const QString& caption, IMessageBoxes& boxes, QWidget* parent);

}  // namespace netrove
