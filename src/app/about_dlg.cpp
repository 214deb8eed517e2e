#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "app/maker_name_label.h"
#include "app/shell_strings.h"
#include "base/product.h"

namespace netrove {
namespace {

QLabel* TextLabel(std::string_view text, QWidget* parent) {
  auto* label =
      new QLabel(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), parent);
  label->setWordWrap(true);
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
  layout->addWidget(TextLabel(kMakerAddress, this));
  layout->addWidget(TextLabel(kContactLine, this));
  layout->addSpacing(8);
  layout->addWidget(TextLabel(kVersionLine, this));
  layout->addWidget(TextLabel(kLegalNotice, this));
  layout->addSpacing(8);
  layout->addWidget(TextLabel(kLegalWarning, this));
  layout->addWidget(buttons);
  setFixedWidth(440);
}

}  // namespace netrove
