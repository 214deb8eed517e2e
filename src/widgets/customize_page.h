#pragma once
// Base of the Customize sheet's pages. A page reads its tool key when it is
// first shown and writes each value the moment its control changes; when the
// key cannot be created a check box snaps back and nothing is written.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;

namespace netrove {

inline constexpr const char* kSaveSizeAndPositionLabel = "Save size and position on closing.";

class CCustomizePage : public QWidget {
  Q_OBJECT

 public:
  // `toolKeyName` names the page's tool key ("Ping", "Netrove", ...).
  CCustomizePage(std::string toolKeyName, QWidget* parent = nullptr);

  const std::string& toolKeyName() const { return toolKeyName_; }
  // The context of the page's own help request.
  virtual int helpContext() const = 0;

 protected:
  // Fills the controls from the key; called once, when first shown.
  virtual void loadSettings() = 0;

  // Creates the key and writes one number. False, with errno set, when the
  // key could not be created or written.
  bool writeDword(std::string_view valueName, std::uint32_t value);
  // Reads a number from the key, keeping `fallback` when it is missing.
  std::uint32_t readDword(std::string_view valueName, std::uint32_t fallback) const;

  // Writes `valueName` (1 or 0) whenever the box is clicked and, once the
  // value is written, calls `applied`. When writing fails the box returns to
  // its former state and `failed` receives the errno.
  void bindCheckBox(QCheckBox* box, std::string_view valueName,
                    std::function<void(bool)> applied = {}, std::function<void(int)> failed = {});
  // Sets a bound box from the key without writing it back.
  void loadCheckBox(QCheckBox* box, std::string_view valueName);

  // The "Save size and position on closing." box, bound to SizeAndPosition
  // and loaded together with the page.
  QCheckBox* createSizeAndPositionBox();

  void showEvent(QShowEvent* event) override;

 private:
  std::string toolKeyName_;
  QCheckBox* sizeAndPositionBox_ = nullptr;
  bool loaded_ = false;
};

}  // namespace netrove
