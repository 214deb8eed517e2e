#pragma once
// Base of the newsreader's settings pages (the Customize page and the
// Preferences pages): every value is written to the "NNTP" key the moment
// its control changes; when the store refuses, the failure is reported and
// the control shows the stored value again.
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "widgets/customize_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace netrove {

// Receives the error code of a store failure (the main window shows it).
using NewsStoreFailure = std::function<void(int error)>;

class CNewsSettingsPage : public CCustomizePage {
  Q_OBJECT

 public:
  CNewsSettingsPage(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  int helpContext() const override;

 protected:
  // Writes the text when the field is left after a change; `written` runs
  // after a successful write.
  void bindTextField(QLineEdit* field, std::string_view valueName,
                     std::function<void()> written = {});
  // Shows a stored text (the value a failed write returns to).
  void loadTextField(QLineEdit* field, const std::string& text);
  // Writes the text of a bound field now, as leaving it would.
  void writeTextField(QLineEdit* field);
  // Writes the number of the chosen position (`values[position]`).
  void bindChoice(QComboBox* list, std::string_view valueName, std::vector<std::uint32_t> values);
  void loadChoice(QComboBox* list, std::uint32_t value);

  // A check box written as 1 or 0 when clicked.
  void bindFlag(QCheckBox* box, std::string_view valueName);

  // Writes one number; reports a failure and returns false.
  bool writeNumber(std::string_view valueName, std::uint32_t value);
  bool writeText(std::string_view valueName, const std::string& text);
  void reportFailure();

  // A note drawn in red.
  QLabel* createNote(const QString& text);

 private:
  struct BoundField {
    std::string valueName;
    QString stored;
    std::function<void()> written;
  };
  struct BoundChoice {
    std::string valueName;
    std::vector<std::uint32_t> values;
    int stored = 0;
  };

  NewsStoreFailure reportFailure_;
  std::map<QLineEdit*, BoundField> fields_;
  std::map<QComboBox*, BoundChoice> choices_;
};

// The note of the pages whose settings a window reads when it opens.
inline constexpr const char* kNextWindowNote =
    "Note: A change to these settings will only take effect the next time you open a new window.";

}  // namespace netrove
