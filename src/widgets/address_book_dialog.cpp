#include "widgets/address_book_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QTimer>
#include <QVBoxLayout>
#include <QtDebug>

#include "base/product.h"
#include "widgets/message_boxes.h"

namespace netrove {
namespace {

// Captions from the string table (numbers in the comments).
QString TextOk() { return QStringLiteral("OK"); }                         // 61275
QString TextCancel() { return QStringLiteral("Cancel"); }                 // 61276
QString TextClose() { return QStringLiteral("Close"); }                   // 61277
QString TextAdd() { return QStringLiteral("Add >>"); }                    // 61268
QString TextUpdate() { return QStringLiteral("Update >>"); }              // 61271
QString TextDelete() { return QStringLiteral("Delete"); }                 // 61278
QString TextNewAddress() { return QStringLiteral("New Address"); }        // 61269
QString TextUpdateAddress() { return QStringLiteral("Update Address"); }  // 61273
QString TextName() { return QStringLiteral("Name:"); }                    // 61270
QString TextHost() { return QStringLiteral("Host Name or Address:"); }    // 61285
QString TextDeleteQuestion() {                                            // 61309
  return QStringLiteral("Are you sure you want to delete this entry?");
}

QString BoxCaption() { return QString::fromUtf8(kProductTitle.data(), kProductTitle.size()); }

std::string StoredText(const QString& text) { return text.toUtf8().toStdString(); }

QPushButton* MakeButton(const QString& objectName, QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setObjectName(objectName);
  return button;
}

}  // namespace

QString AddressBookDisplayText(const std::string& stored) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text =
      decoder.decode(QByteArrayView(stored.data(), static_cast<qsizetype>(stored.size())));
  if (!decoder.hasError()) return text;
  return QString::fromLatin1(stored.data(), static_cast<qsizetype>(stored.size()));
}

CAddressBookDlg::Prompts CAddressBookDlg::StandardPrompts() {
  Prompts prompts;
  prompts.confirmDelete = [](QWidget* parent) {
    return AskPlainYesNo(parent, BoxCaption(), TextDeleteQuestion());
  };
  prompts.showMessage = [](QWidget* parent, const QString& text) {
    ShowPlainInformation(parent, BoxCaption(), text);
  };
  return prompts;
}

CAddressBookDlg::CAddressBookDlg(Mode mode, QWidget* parent, Prompts prompts)
    : QDialog(parent), mode_(mode), prompts_(std::move(prompts)), file_(AddressBookPath()) {
  setWindowTitle(QStringLiteral("Address Book"));
  // Modal to the main window only, so the help it opens stays usable.
  setWindowModality(Qt::WindowModal);
  buildWidgets();
  AddressBookLoad load = LoadAddressBook(file_);
  loaded_ = load.book;
  book_ = std::move(load.book);
  loadProblem_ = QString::fromStdString(load.problem);
  for (const auto& record : book_.records()) list_->addItem(AddressBookDisplayText(record.name));
  if (!book_.empty()) list_->setCurrentRow(0);
  collapse();
  showInitialState();
}

CAddressBookDlg::~CAddressBookDlg() {
  QString problem;
  if (!saveIfModified(&problem)) qWarning().noquote() << problem;
}

void CAddressBookDlg::buildWidgets() {
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("nameList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  okButton_ = MakeButton(QStringLiteral("okButton"), this);
  secondButton_ = MakeButton(QStringLiteral("secondButton"), this);
  addButton_ = MakeButton(QStringLiteral("addButton"), this);
  updateButton_ = MakeButton(QStringLiteral("updateButton"), this);
  deleteButton_ = MakeButton(QStringLiteral("deleteButton"), this);
  okButton_->setText(TextOk());
  addButton_->setText(TextAdd());
  updateButton_->setText(TextUpdate());
  deleteButton_->setText(TextDelete());
  okButton_->setDefault(true);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {okButton_, secondButton_, addButton_, updateButton_, deleteButton_}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  auto* browse = new QHBoxLayout;
  browse->addWidget(list_, 1);
  browse->addLayout(buttons);

  entryGroup_ = new QGroupBox(this);
  entryGroup_->setObjectName(QStringLiteral("entryGroup"));
  nameLabel_ = new QLabel(TextName(), entryGroup_);
  addressLabel_ = new QLabel(TextHost(), entryGroup_);
  nameEdit_ = new QLineEdit(entryGroup_);
  nameEdit_->setObjectName(QStringLiteral("nameEdit"));
  addressEdit_ = new QLineEdit(entryGroup_);
  addressEdit_->setObjectName(QStringLiteral("addressEdit"));
  nameLabel_->setBuddy(nameEdit_);
  addressLabel_->setBuddy(addressEdit_);
  auto* fields = new QGridLayout(entryGroup_);
  fields->addWidget(nameLabel_, 0, 0);
  fields->addWidget(nameEdit_, 0, 1);
  fields->addWidget(addressLabel_, 1, 0);
  fields->addWidget(addressEdit_, 1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(browse);
  layout->addWidget(entryGroup_);
  // The dialog always takes the height of what is shown: collapsed to the
  // list's bottom edge while browsing, with the entry fields while editing.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(okButton_, &QPushButton::clicked, this, &CAddressBookDlg::accept);
  connect(secondButton_, &QPushButton::clicked, this, &CAddressBookDlg::reject);
  connect(addButton_, &QPushButton::clicked, this, &CAddressBookDlg::startAdd);
  connect(updateButton_, &QPushButton::clicked, this, &CAddressBookDlg::startUpdate);
  connect(deleteButton_, &QPushButton::clicked, this, &CAddressBookDlg::deleteSelected);
  connect(nameEdit_, &QLineEdit::textEdited, this, &CAddressBookDlg::entryEdited);
  connect(addressEdit_, &QLineEdit::textEdited, this, &CAddressBookDlg::entryEdited);
}

void CAddressBookDlg::showInitialState() {
  if (mode_ == Mode::kManage) {
    okButton_->hide();
    secondButton_->setText(TextClose());
  } else {
    secondButton_->setText(TextCancel());
  }
  if (book_.empty()) {
    if (mode_ == Mode::kPick) okButton_->setEnabled(false);
    setRecordButtonsEnabled(false);
    addButton_->setFocus();
    return;
  }
  (mode_ == Mode::kManage ? addButton_ : okButton_)->setFocus();
}

std::optional<std::size_t> CAddressBookDlg::selectedIndex() const {
  const int row = list_->currentRow();
  if (row < 0 || !list_->currentItem()->isSelected()) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void CAddressBookDlg::setRecordButtonsEnabled(bool enabled) {
  updateButton_->setEnabled(enabled);
  deleteButton_->setEnabled(enabled);
}

void CAddressBookDlg::enableEntryFields(bool enabled) {
  for (QWidget* widget : {static_cast<QWidget*>(nameLabel_), static_cast<QWidget*>(addressLabel_),
                          static_cast<QWidget*>(nameEdit_), static_cast<QWidget*>(addressEdit_)}) {
    widget->setEnabled(enabled);
  }
}

void CAddressBookDlg::collapse() {
  enableEntryFields(false);
  entryGroup_->hide();
  layout()->activate();  // take the collapsed height now, not on the next event
}

void CAddressBookDlg::startAdd() {
  expandFor(EditKind::kAdd);
  okButton_->setEnabled(true);
  nameEdit_->setFocus();
}

void CAddressBookDlg::startUpdate() {
  const auto index = selectedIndex();
  if (!index) return;
  updatedIndex_ = *index;
  nameEdit_->setText(AddressBookDisplayText(book_.at(*index).name));
  addressEdit_->setText(AddressBookDisplayText(book_.at(*index).address));
  expandFor(EditKind::kUpdate);
  // Nothing has changed yet, so there is nothing to commit.
  okButton_->setEnabled(false);
  nameEdit_->setFocus();
}

void CAddressBookDlg::expandFor(EditKind kind) {
  editing_ = true;
  editKind_ = kind;
  addButton_->hide();
  updateButton_->hide();
  deleteButton_->hide();
  okButton_->show();
  if (mode_ == Mode::kManage) secondButton_->setText(TextCancel());
  list_->setEnabled(false);
  entryGroup_->setTitle(kind == EditKind::kAdd ? TextNewAddress() : TextUpdateAddress());
  enableEntryFields(true);
  entryGroup_->show();
  layout()->activate();
}

void CAddressBookDlg::entryEdited() {
  okButton_->setEnabled(true);
  okButton_->setDefault(true);
}

void CAddressBookDlg::deleteSelected() {
  const auto index = selectedIndex();
  if (!index || !prompts_.confirmDelete(this)) return;
  modified_ = true;
  book_.RemoveAt(*index);
  delete list_->takeItem(static_cast<int>(*index));
  const auto next = SelectionAfterDelete(*index, book_.size());
  if (!next) {
    okButton_->setEnabled(false);
    setRecordButtonsEnabled(false);
    addButton_->setFocus();
    return;
  }
  list_->setCurrentRow(static_cast<int>(*next));
}

void CAddressBookDlg::accept() {
  if (editing_) {
    commitEntry();
    return;
  }
  // OK is hidden in manage mode; only a pick ends the dialog with OK.
  const auto index = selectedIndex();
  if (mode_ != Mode::kPick || !index) return;
  picked_ = AddressBookDisplayText(book_.at(*index).address);
  QDialog::accept();
}

void CAddressBookDlg::commitEntry() {
  if (nameEdit_->text().isEmpty()) {
    nameEdit_->setFocus();
    return;
  }
  if (addressEdit_->text().isEmpty()) {
    addressEdit_->setFocus();
    return;
  }
  AddressBookRecord record{StoredText(nameEdit_->text()), StoredText(addressEdit_->text())};
  const QString name = nameEdit_->text();
  nameEdit_->clear();
  addressEdit_->clear();
  modified_ = true;
  std::size_t index = 0;
  if (editKind_ == EditKind::kAdd) {
    index = book_.Insert(std::move(record));
  } else {
    delete list_->takeItem(static_cast<int>(updatedIndex_));
    index = book_.Replace(updatedIndex_, std::move(record));
  }
  list_->insertItem(static_cast<int>(index), name);
  list_->setCurrentRow(static_cast<int>(index));

  editing_ = false;
  list_->setEnabled(true);
  for (QPushButton* button : {addButton_, updateButton_, deleteButton_}) {
    button->setEnabled(true);
    button->show();
  }
  collapse();
  focusAfterBrowsingResumes();
}

void CAddressBookDlg::reject() {
  if (!editing_) {
    QDialog::reject();
    return;
  }
  cancelEntry();
}

void CAddressBookDlg::cancelEntry() {
  editing_ = false;
  list_->setEnabled(true);
  addButton_->show();
  updateButton_->show();
  deleteButton_->show();
  // An abandoned update leaves OK disabled; picking must still be possible
  // whenever there is something to pick.
  if (mode_ == Mode::kPick) okButton_->setEnabled(!book_.empty());
  nameEdit_->clear();
  addressEdit_->clear();
  collapse();
  focusAfterBrowsingResumes();
}

void CAddressBookDlg::focusAfterBrowsingResumes() {
  if (mode_ == Mode::kManage) {
    okButton_->hide();
    secondButton_->setText(TextClose());
    addButton_->setFocus();
    return;
  }
  (okButton_->isEnabled() ? okButton_ : addButton_)->setFocus();
}

bool CAddressBookDlg::saveIfModified(QString* problem) {
  if (!modified_) return true;
  modified_ = false;
  // Another process may have changed the book since it was read here: save
  // this window's edits onto the book as it is now.
  const AddressBookUpdate update = UpdateAddressBook(file_, [this](AddressBook& current) {
    current = MergeAddressBookEdits(loaded_, book_, current);
    return true;
  });
  QStringList problems;
  for (const auto& text : update.problems) problems << QString::fromStdString(text);
  *problem = problems.join(QStringLiteral("\n\n"));
  return problems.isEmpty();
}

void CAddressBookDlg::done(int result) {
  QString problem;
  if (!saveIfModified(&problem)) prompts_.showMessage(this, problem);
  QDialog::done(result);
}

void CAddressBookDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    emit helpRequested(kHelpContextId);
    return;
  }
  QDialog::keyPressEvent(event);
}

void CAddressBookDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  // The box comes after the dialog is on screen, so it has a parent to sit on.
  if (!loadProblem_.isEmpty()) {
    QTimer::singleShot(0, this, [this] { prompts_.showMessage(this, loadProblem_); });
  }
}

void RunAddressBook(QWidget* parent, const std::function<void(int)>& onHelp) {
  CAddressBookDlg dialog(CAddressBookDlg::Mode::kManage, parent);
  if (onHelp) QObject::connect(&dialog, &CAddressBookDlg::helpRequested, &dialog, onHelp);
  dialog.exec();
}

std::optional<QString> PickAddressFromBook(QWidget* parent,
                                           const std::function<void(int)>& onHelp) {
  CAddressBookDlg dialog(CAddressBookDlg::Mode::kPick, parent);
  if (onHelp) QObject::connect(&dialog, &CAddressBookDlg::helpRequested, &dialog, onHelp);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.pickedAddress();
}

}  // namespace netrove
