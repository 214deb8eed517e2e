#include "query/mail_byte_limit.h"

#include <QLineEdit>

namespace netrove {
namespace {

std::size_t Utf8Size(const QString& text) { return static_cast<std::size_t>(text.toUtf8().size()); }

}  // namespace

CByteLimitValidator::CByteLimitValidator(QLineEdit* edit, std::size_t maxBytes)
    : QValidator(edit), edit_(edit), maxBytes_(maxBytes) {
  edit->setValidator(this);
}

QValidator::State CByteLimitValidator::validate(QString& input, int&) const {
  const std::size_t size = Utf8Size(input);
  if (size <= maxBytes_) return Acceptable;
  // An over-long stored value may be cut down, never grown; it is written
  // back only once it fits.
  return size < Utf8Size(edit_->text()) ? Intermediate : Invalid;
}

}  // namespace netrove
