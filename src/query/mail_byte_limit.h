#pragma once
// Limits a line edit to a number of bytes of its UTF-8 text, the size the
// value takes in the store and on the wire, rather than a number of
// characters: a field of 257 characters holds up to 771 bytes of non-ASCII
// text. A text that is already longer (set from the store) is kept whole and
// may only be shortened.
#include <QValidator>
#include <cstddef>

class QLineEdit;

namespace netrove {

class CByteLimitValidator : public QValidator {
  Q_OBJECT

 public:
  // Installs itself on `edit` (which owns it).
  CByteLimitValidator(QLineEdit* edit, std::size_t maxBytes);

  State validate(QString& input, int& position) const override;
  std::size_t maxBytes() const { return maxBytes_; }

 private:
  QLineEdit* edit_;
  std::size_t maxBytes_;
};

}  // namespace netrove
