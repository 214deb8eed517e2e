#include "widgets/customize_page.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <cerrno>

#include "base/settings_store.h"

namespace netrove {

CCustomizePage::CCustomizePage(std::string toolKeyName, QWidget* parent)
    : QWidget(parent), toolKeyName_(std::move(toolKeyName)) {}

bool CCustomizePage::writeDword(std::string_view valueName, std::uint32_t value) {
  errno = 0;
  auto key = CreateToolKey(toolKeyName_);
  if (!key) {
    if (errno == 0) errno = EACCES;
    return false;
  }
  if (!key->WriteDword(valueName, value)) {
    if (errno == 0) errno = EIO;
    return false;
  }
  return true;
}

std::uint32_t CCustomizePage::readDword(std::string_view valueName, std::uint32_t fallback) const {
  std::uint32_t value = fallback;
  if (const auto key = OpenToolKey(toolKeyName_, false)) key->ReadDword(valueName, value);
  return value;
}

void CCustomizePage::bindCheckBox(QCheckBox* box, std::string_view valueName,
                                  std::function<void(bool)> applied,
                                  std::function<void(int)> failed) {
  connect(box, &QCheckBox::clicked, this,
          [this, box, name = std::string(valueName), applied = std::move(applied),
           failed = std::move(failed)](bool checked) {
            if (!writeDword(name, checked ? 1u : 0u)) {
              const int error = errno;
              const QSignalBlocker blocker(box);
              box->setChecked(!checked);
              if (failed) failed(error);
              return;
            }
            if (applied) applied(checked);
          });
}

void CCustomizePage::loadCheckBox(QCheckBox* box, std::string_view valueName) {
  const QSignalBlocker blocker(box);
  box->setChecked(readDword(valueName, 0) != 0);
}

QCheckBox* CCustomizePage::createSizeAndPositionBox() {
  auto* box = new QCheckBox(QString::fromLatin1(kSaveSizeAndPositionLabel), this);
  bindCheckBox(box, "SizeAndPosition");
  sizeAndPositionBox_ = box;
  return box;
}

void CCustomizePage::showEvent(QShowEvent* event) {
  if (!loaded_) {
    loaded_ = true;
    if (sizeAndPositionBox_ != nullptr) loadCheckBox(sizeAndPositionBox_, "SizeAndPosition");
    loadSettings();
  }
  QWidget::showEvent(event);
}

}  // namespace netrove
