#pragma once
// The splitter of a posting window: the header form above, the body below.
// When "Save size on closing." is on, the form's height is restored from
// and written back to the newsreader key.
#include <QSplitter>

class QPlainTextEdit;

namespace netrove {

class CNNTPPostHeaders;

class CNNTPFramePost : public QSplitter {
  Q_OBJECT

 public:
  explicit CNNTPFramePost(QWidget* parent = nullptr);

  CNNTPPostHeaders* headers() const { return headers_; }
  QPlainTextEdit* body() const { return body_; }

  // Writes the form's height when the setting asks for it.
  void saveHeaderHeight();

 private:
  CNNTPPostHeaders* headers_;
  QPlainTextEdit* body_;
  bool saveHeight_ = false;
};

}  // namespace netrove
