#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/maker_name_label.h"
#include "app/shell_strings.h"
#include "base/product.h"

namespace netrove {
namespace {

// The address, the contact line and the version are short lines that must
// not break (a fax number split over two lines is misread): they set the
// box's width. The legal texts wrap to that width.
enum class Wrap { Never, ToWidth };

QLabel* TextLabel(std::string_view text, Wrap wrap, QWidget* parent) {
  auto* label =
      new QLabel(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wrap == Wrap::ToWidth);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Netrove"));
  auto* maker = new CMakerNameLabel(this);
  maker->setMinimumSize(360, 56);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(maker);
  layout->addWidget(TextLabel(kMakerAddress, Wrap::Never, this));
  layout->addWidget(TextLabel(kContactLine, Wrap::Never, this));
  layout->addSpacing(8);
  layout->addWidget(TextLabel(kVersionLine, Wrap::Never, this));
  layout->addWidget(TextLabel(kLegalNotice, Wrap::ToWidth, this));
  layout->addSpacing(8);
  layout->addWidget(TextLabel(kLegalWarning, Wrap::ToWidth, this));
  layout->addWidget(buttons);
  // The box takes the size its texts need at the current font, the wrapped
  // ones measured at the box's width, so no text is ever cut.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace netrove
