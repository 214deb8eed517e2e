#include "news/news_settings_page.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <algorithm>
#include <cerrno>

#include "base/command_ids.h"
#include "news/news_settings.h"

namespace netrove {

CNewsSettingsPage::CNewsSettingsPage(NewsStoreFailure reportFailure, QWidget* parent)
    : CCustomizePage(std::string(kNntpToolName), parent),
      reportFailure_(std::move(reportFailure)) {}

int CNewsSettingsPage::helpContext() const { return CommandHelpContext(kCmdNewsreader); }

void CNewsSettingsPage::reportFailure() {
  const int error = errno != 0 ? errno : EIO;
  if (reportFailure_) reportFailure_(error);
}

void CNewsSettingsPage::bindFlag(QCheckBox* box, std::string_view valueName) {
  bindCheckBox(box, valueName, {}, [this](int error) {
    if (reportFailure_) reportFailure_(error);
  });
}

bool CNewsSettingsPage::writeNumber(std::string_view valueName, std::uint32_t value) {
  errno = 0;
  if (WriteNewsNumber(valueName, value)) return true;
  reportFailure();
  return false;
}

bool CNewsSettingsPage::writeText(std::string_view valueName, const std::string& text) {
  errno = 0;
  if (WriteNewsText(valueName, text)) return true;
  reportFailure();
  return false;
}

void CNewsSettingsPage::bindTextField(QLineEdit* field, std::string_view valueName,
                                      std::function<void()> written) {
  fields_[field] = {std::string(valueName), QString(), std::move(written)};
  connect(field, &QLineEdit::editingFinished, this, [this, field] { writeTextField(field); });
}

void CNewsSettingsPage::loadTextField(QLineEdit* field, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  fields_[field].stored = shown;
  const QSignalBlocker blocker(field);
  field->setText(shown);
}

void CNewsSettingsPage::writeTextField(QLineEdit* field) {
  BoundField& bound = fields_[field];
  if (field->text() == bound.stored) return;
  if (!writeText(bound.valueName, field->text().toStdString())) {
    const QSignalBlocker blocker(field);
    field->setText(bound.stored);
    return;
  }
  bound.stored = field->text();
  if (bound.written) bound.written();
}

void CNewsSettingsPage::bindChoice(QComboBox* list, std::string_view valueName,
                                   std::vector<std::uint32_t> values) {
  choices_[list] = {std::string(valueName), std::move(values), 0};
  connect(list, &QComboBox::currentIndexChanged, this, [this, list](int position) {
    BoundChoice& bound = choices_[list];
    if (position < 0 || position >= static_cast<int>(bound.values.size())) return;
    if (!writeNumber(bound.valueName, bound.values[static_cast<std::size_t>(position)])) {
      const QSignalBlocker blocker(list);
      list->setCurrentIndex(bound.stored);
      return;
    }
    bound.stored = position;
  });
}

void CNewsSettingsPage::loadChoice(QComboBox* list, std::uint32_t value) {
  BoundChoice& bound = choices_[list];
  const auto found = std::find(bound.values.begin(), bound.values.end(), value);
  bound.stored = found == bound.values.end() ? 0 : static_cast<int>(found - bound.values.begin());
  const QSignalBlocker blocker(list);
  list->setCurrentIndex(bound.stored);
}

QLabel* CNewsSettingsPage::createNote(const QString& text) {
  auto* note = new QLabel(text, this);
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  note->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  return note;
}

}  // namespace netrove
