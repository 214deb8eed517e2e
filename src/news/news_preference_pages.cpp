#include "news/news_preference_pages.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <cmath>

#include "base/user_paths.h"
#include "news/news_article.h"
#include "widgets/dir_dialog.h"
#include "widgets/tab_order.h"

namespace netrove {
namespace {

constexpr int kThresholdDigits = 5;
constexpr int kLongestCheckInterval = 60;
// Screen pixels per point of the stored font height.
constexpr double kPixelsPerPoint = 96.0 / 72.0;
constexpr long kDefaultCharSet = 1;
constexpr QSize kPictureSize{48, 36};

QString Latin1(const char* text) { return QString::fromLatin1(text); }

QColor ColourOf(NewsColour colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

NewsColour StoredColour(const QColor& colour) {
  return static_cast<NewsColour>(colour.red()) | static_cast<NewsColour>(colour.green()) << 8 |
         static_cast<NewsColour>(colour.blue()) << 16;
}

QComboBox* ChoiceList(QWidget* parent, std::initializer_list<const char*> items) {
  auto* list = new QComboBox(parent);
  for (const char* item : items) list->addItem(Latin1(item));
  return list;
}

// --- window layout pictures ---------------------------------------------------

// The three pane positions of a layout as fractions of the window: P1, P2
// (the inner splitter) and P3 (the outer splitter's other cell).
std::array<QRectF, 3> PanePositions(std::uint32_t layout) {
  constexpr double third = 1.0 / 3.0;
  switch (layout) {
    case 1239:
      return {QRectF(0.4, 0, 0.6, 0.5), QRectF(0.4, 0.5, 0.6, 0.5), QRectF(0, 0, 0.4, 1)};
    case 1240:
      return {QRectF(0, 0, 0.6, 0.5), QRectF(0, 0.5, 0.6, 0.5), QRectF(0.6, 0, 0.4, 1)};
    case 1241:
      return {QRectF(0, 0.4, 0.5, 0.6), QRectF(0.5, 0.4, 0.5, 0.6), QRectF(0, 0, 1, 0.4)};
    case 1242:
      return {QRectF(0, 0, 0.5, 0.6), QRectF(0.5, 0, 0.5, 0.6), QRectF(0, 0.6, 1, 0.4)};
    case 1243:
      return {QRectF(third, 0, third, 1), QRectF(2 * third, 0, third, 1), QRectF(0, 0, third, 1)};
    default:
      return {QRectF(0, third, 1, third), QRectF(0, 2 * third, 1, third), QRectF(0, 0, 1, third)};
  }
}

// The panes at P1, P2, P3 for a contents value (A articles, G newsgroups,
// T article view).
std::array<char, 3> PaneLetters(std::uint32_t contents) {
  switch (contents) {
    case 1245:
      return {'A', 'T', 'G'};
    case 1246:
      return {'T', 'A', 'G'};
    case 1247:
      return {'G', 'T', 'A'};
    case 1248:
      return {'T', 'G', 'A'};
    case 1249:
      return {'G', 'A', 'T'};
    default:
      return {'A', 'G', 'T'};
  }
}

QIcon LayoutPicture(std::uint32_t layout, const std::array<char, 3>* letters) {
  QPixmap picture(kPictureSize);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  const std::array<QRectF, 3> panes = PanePositions(layout);
  for (std::size_t i = 0; i < panes.size(); ++i) {
    const QRectF& pane = panes[i];
    const QRectF area(pane.x() * (kPictureSize.width() - 1), pane.y() * (kPictureSize.height() - 1),
                      pane.width() * (kPictureSize.width() - 1),
                      pane.height() * (kPictureSize.height() - 1));
    painter.drawRect(area);
    if (letters != nullptr)
      painter.drawText(area, Qt::AlignCenter, QString(QChar::fromLatin1((*letters)[i])));
  }
  return QIcon(picture);
}

QButtonGroup* PictureButtons(QWidget* parent, QHBoxLayout* row, std::uint32_t first,
                             std::uint32_t last) {
  auto* group = new QButtonGroup(parent);
  group->setExclusive(true);
  for (std::uint32_t id = first; id <= last; ++id) {
    auto* button = new QToolButton(parent);
    button->setCheckable(true);
    button->setIconSize(kPictureSize);
    group->addButton(button, static_cast<int>(id));
    row->addWidget(button);
  }
  row->addStretch();
  return group;
}

}  // namespace

// --- folder pages -------------------------------------------------------------

QWidget* CNewsFolderPage::createFolderRow(std::string_view valueName) {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  folder_ = new QLineEdit(row);
  folder_->setMaxLength(static_cast<int>(kNewsPathLimit));
  folder_->setPlaceholderText(QString::fromStdString((DataFolder() / "News").string()));
  browse_ = new QPushButton(QStringLiteral("Browse..."), row);
  layout->addWidget(folder_, 1);
  layout->addWidget(browse_);
  bindTextField(folder_, valueName);
  connect(browse_, &QPushButton::clicked, this, &CNewsFolderPage::browse);
  return row;
}

void CNewsFolderPage::browse() {
  const QString start = folder_->text().isEmpty() ? folder_->placeholderText() : folder_->text();
  CDirDialog dialog(start, this);
  if (!dialog.DoModal()) return;
  folder_->setText(dialog.folder());
  writeTextField(folder_);
}

// --- Articles -----------------------------------------------------------------

CCustomizeNNTPArticle::CCustomizeNNTPArticle(NewsStoreFailure reportFailure, QWidget* parent)
    : CNewsFolderPage(std::move(reportFailure), parent),
      fontButton_(new QPushButton(QStringLiteral("Select a new font..."), this)),
      fontLabel_(new QLabel(this)),
      retrieve_(ChoiceList(this, {"body with the header.", "body without the header."})),
      threshold_(new QLineEdit(this)),
      checkInterval_(new QSpinBox(this)),
      unreadColour_(new QPushButton(QStringLiteral("For unread articles"), this)),
      readColour_(new QPushButton(QStringLiteral("For read articles"), this)) {
  fontLabel_->setTextFormat(Qt::PlainText);
  threshold_->setMaxLength(kThresholdDigits);
  threshold_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), threshold_));
  checkInterval_->setRange(0, kLongestCheckInterval);

  auto* grid = new QGridLayout(this);
  grid->addWidget(createNote(Latin1(kNextWindowNote)), 0, 0, 1, 3);
  grid->addWidget(fontButton_, 1, 0);
  grid->addWidget(fontLabel_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("When retrieving an article, retrieve the"), this), 2,
                  0);
  grid->addWidget(retrieve_, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("When retrieving more than"), this), 3, 0);
  grid->addWidget(threshold_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("articles, ask for confirmation."), this), 3, 2);
  grid->addWidget(new QLabel(QStringLiteral("Check for new articles every"), this), 4, 0);
  grid->addWidget(checkInterval_, 4, 1);
  grid->addWidget(new QLabel(QStringLiteral("minute(s)."), this), 4, 2);
  grid->addWidget(unreadColour_, 5, 0);
  grid->addWidget(readColour_, 5, 1);
  grid->addWidget(new QLabel(QStringLiteral("Save articles in:"), this), 6, 0);
  grid->addWidget(createFolderRow(kNewsArticlesFolder), 6, 1, 1, 2);
  grid->setRowStretch(7, 1);

  connect(fontButton_, &QPushButton::clicked, this, &CCustomizeNNTPArticle::chooseFont);
  bindChoice(retrieve_, kNewsArticlesRetrieveWithHeader, {0, 1});
  connect(threshold_, &QLineEdit::editingFinished, this, &CCustomizeNNTPArticle::writeThreshold);
  connect(checkInterval_, &QSpinBox::valueChanged, this, [this](int minutes) {
    if (writeNumber(kNewsArticlesCheckForNew, static_cast<std::uint32_t>(minutes))) {
      storedInterval_ = static_cast<std::uint32_t>(minutes);
      return;
    }
    const QSignalBlocker blocker(checkInterval_);
    checkInterval_->setValue(static_cast<int>(storedInterval_));
  });
  connect(unreadColour_, &QPushButton::clicked, this,
          [this] { chooseColour(unreadColour_, kNewsArticlesUnreadColour); });
  connect(readColour_, &QPushButton::clicked, this,
          [this] { chooseColour(readColour_, kNewsArticlesReadColour); });
}

void CCustomizeNNTPArticle::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  if (const auto font = ParseNewsFont(settings.articlesFont)) {
    fontLabel_->setText(
        QStringLiteral("Current font: %1.").arg(QString::fromStdString(font->face)));
  }
  loadChoice(retrieve_, settings.articlesRetrieveWithHeader == 0 ? 0 : 1);
  storedThreshold_ = settings.articlesRetrievingMoreThan;
  threshold_->setText(QString::number(storedThreshold_));
  storedInterval_ = std::min<std::uint32_t>(settings.articlesCheckForNew, kLongestCheckInterval);
  const QSignalBlocker blocker(checkInterval_);
  checkInterval_->setValue(static_cast<int>(storedInterval_));
  unread_ = settings.unreadColour;
  read_ = settings.readColour;
  showColour(unreadColour_, unread_);
  showColour(readColour_, read_);
  loadTextField(folderField(), settings.articlesFolder);
}

void CCustomizeNNTPArticle::chooseFont() {
  bool chosen = false;
  const QFont font = QFontDialog::getFont(&chosen, this->font(), this);
  if (chosen) applyFont(font);
}

void CCustomizeNNTPArticle::applyFont(const QFont& font) {
  NewsFont stored;
  stored.height = -std::lround(font.pointSizeF() * kPixelsPerPoint);
  stored.weight = font.weight();
  stored.italic = font.italic() ? 1 : 0;
  stored.charSet = kDefaultCharSet;
  stored.face = font.family().toStdString();
  if (!writeText(kNewsArticlesFont, FormatNewsFont(stored))) return;
  fontLabel_->setText(QStringLiteral("Current font: %1.").arg(font.family()));
}

void CCustomizeNNTPArticle::chooseColour(QPushButton* button, std::string_view valueName) {
  NewsColour& current = button == unreadColour_ ? unread_ : read_;
  const QColor chosen = QColorDialog::getColor(ColourOf(current), this);
  if (!chosen.isValid()) return;
  errno = 0;
  if (!WriteNewsColour(valueName, StoredColour(chosen))) {
    reportFailure();
    return;
  }
  current = StoredColour(chosen);
  showColour(button, current);
}

void CCustomizeNNTPArticle::showColour(QPushButton* button, NewsColour colour) {
  QPixmap swatch(16, 16);
  swatch.fill(ColourOf(colour));
  button->setIcon(QIcon(swatch));
}

void CCustomizeNNTPArticle::writeThreshold() {
  const QString text = threshold_->text();
  const std::uint32_t value = text.toUInt();
  if (text.isEmpty() || value == storedThreshold_ ||
      !writeNumber(kNewsArticlesRetrievingMoreThan, value)) {
    threshold_->setText(QString::number(storedThreshold_));
    return;
  }
  storedThreshold_ = value;
}

// --- Newsgroups ---------------------------------------------------------------

CCustomizeNNTPNewsgroups::CCustomizeNNTPNewsgroups(NewsStoreFailure reportFailure, QWidget* parent)
    : CNewsFolderPage(std::move(reportFailure), parent),
      retrieve_(ChoiceList(this, {"Yes", "No", "Ask"})),
      display_(ChoiceList(this, {"ALL", "SUBSCRIBE", "UNSUBSCRIBE"})) {
  auto* grid = new QGridLayout(this);
  grid->addWidget(createNote(Latin1(kNextWindowNote)), 0, 0, 1, 3);
  grid->addWidget(
      new QLabel(QStringLiteral("When connecting to the server, retrieve the list of newsgroups?"),
                 this),
      1, 0, 1, 2);
  grid->addWidget(retrieve_, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("When displaying newsgroups, display"), this), 2, 0);
  grid->addWidget(display_, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("newsgroups."), this), 2, 2);
  grid->addWidget(new QLabel(QStringLiteral("Keep the newsgroup lists in:"), this), 3, 0);
  grid->addWidget(createFolderRow(kNewsNewsgroupsFolder), 3, 1, 1, 2);
  grid->setRowStretch(4, 1);
  bindChoice(retrieve_, kNewsNewsgroupsRetrieveTheList, {0, 1, 2});
  bindChoice(display_, kNewsNewsgroupsDisplay,
             {kNewsDisplayAll, kNewsDisplaySubscribed, kNewsDisplayUnsubscribed});
}

void CCustomizeNNTPNewsgroups::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  // A value never written shows as the first choice.
  loadChoice(retrieve_,
             settings.newsgroupsRetrieveTheListStored ? settings.newsgroupsRetrieveTheList : 0);
  loadChoice(display_, settings.newsgroupsDisplay);
  loadTextField(folderField(), settings.newsgroupsFolder);
}

// --- Posting ------------------------------------------------------------------

CCustomizeNNTPPostingHeaders::CCustomizeNNTPPostingHeaders(NewsStoreFailure reportFailure,
                                                           QWidget* parent)
    : CNewsSettingsPage(std::move(reportFailure), parent),
      saveSize_(new QCheckBox(QStringLiteral("Save size on closing."), this)),
      savePlacement_(new QCheckBox(Latin1(kSaveSizeAndPositionLabel), this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(saveSize_);
  layout->addWidget(savePlacement_);
  layout->addStretch();
  bindFlag(saveSize_, kNewsPostingPaneSaveSize);
  bindFlag(savePlacement_, kNewsPostingWndSizeAndPosition);
}

void CCustomizeNNTPPostingHeaders::loadSettings() {
  loadCheckBox(saveSize_, kNewsPostingPaneSaveSize);
  loadCheckBox(savePlacement_, kNewsPostingWndSizeAndPosition);
}

// --- User ---------------------------------------------------------------------

CCustomizeNNTPUser::CCustomizeNNTPUser(NewsStoreFailure reportFailure, QWidget* parent)
    : CNewsSettingsPage(std::move(reportFailure), parent),
      fullName_(new QLineEdit(this)),
      address_(new QLineEdit(this)),
      from_(new QComboBox(this)),
      replyTo_(new QComboBox(this)),
      organization_(new QLineEdit(this)) {
  fullName_->setMaxLength(static_cast<int>(kNewsFullNameLimit));
  address_->setMaxLength(static_cast<int>(kNewsAddressLimit));
  address_->setPlaceholderText(Latin1(kPlaceholderAddress));
  organization_->setPlaceholderText(Latin1(kPlaceholderOrganization));
  auto* form = new QFormLayout(this);
  form->addRow(QStringLiteral("Full Name"), fullName_);
  form->addRow(QStringLiteral("E-mail Address"), address_);
  form->addRow(QStringLiteral("From"), from_);
  form->addRow(QStringLiteral("Reply-To"), replyTo_);
  form->addRow(QStringLiteral("Organization"), organization_);

  connect(fullName_, &QLineEdit::textEdited, this, &CCustomizeNNTPUser::fullNameEdited);
  bindTextField(fullName_, kNewsUserFullName, [this] { rebuildLists(); });
  bindTextField(address_, kNewsUserAddress, [this] { rebuildLists(); });
  bindTextField(organization_, kNewsUserOrganization);
  bindChoice(from_, kNewsUserFrom, {0, 1, 2});
  bindChoice(replyTo_, kNewsUserReplyTo, {0, 1, 2, 3});
}

void CCustomizeNNTPUser::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  loadTextField(fullName_, settings.userFullName);
  loadTextField(address_, settings.userAddress);
  loadTextField(organization_, settings.userOrganization);
  rebuildLists();
  loadChoice(from_, settings.userFrom);
  loadChoice(replyTo_, settings.userReplyTo);
}

void CCustomizeNNTPUser::fullNameEdited(const QString& text) {
  const QString delimiters = Latin1(kNameDelimiters.data());
  QString kept;
  int caret = fullName_->cursorPosition();
  for (int i = 0; i < text.size(); ++i) {
    if (!delimiters.contains(text[i])) {
      kept += text[i];
    } else if (i < fullName_->cursorPosition()) {
      --caret;
    }
  }
  if (kept == text) return;
  fullName_->setText(kept);
  fullName_->setCursorPosition(caret);
  QApplication::beep();
}

void CCustomizeNNTPUser::rebuildLists() {
  const std::string name = fullName_->text().isEmpty() ? std::string(kPlaceholderFullName)
                                                       : fullName_->text().toStdString();
  const std::string address = address_->text().isEmpty() ? std::string(kPlaceholderAddress)
                                                         : address_->text().toStdString();
  const auto refill = [](QComboBox* list, const std::vector<std::string>& choices) {
    const QSignalBlocker blocker(list);
    const int chosen = std::max(0, list->currentIndex());
    list->clear();
    for (const std::string& choice : choices) list->addItem(QString::fromStdString(choice));
    list->setCurrentIndex(chosen);
  };
  refill(from_, NewsFromChoices(name, address));
  refill(replyTo_, NewsReplyToChoices(name, address));
}

// --- Window Layout ------------------------------------------------------------

CCustomizeNNTPWindowLayout::CCustomizeNNTPWindowLayout(NewsStoreFailure reportFailure,
                                                       QWidget* parent)
    : CNewsSettingsPage(std::move(reportFailure), parent),
      savePlacement_(new QCheckBox(Latin1(kSaveSizeAndPositionLabel), this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Layout"), this));
  auto* layoutRow = new QHBoxLayout;
  layout->addLayout(layoutRow);
  layouts_ = PictureButtons(this, layoutRow, kNewsFirstLayout, kNewsLastLayout);
  layout->addWidget(new QLabel(QStringLiteral("Contents"), this));
  auto* contentsRow = new QHBoxLayout;
  layout->addLayout(contentsRow);
  contents_ = PictureButtons(this, contentsRow, kNewsFirstContents, kNewsLastContents);
  layout->addWidget(savePlacement_);
  auto* tip = new QLabel(
      QStringLiteral("Tip: The letters A, G, and T represent the Articles, Newsgroups, and "
                     "Article View panes, respectively."),
      this);
  tip->setWordWrap(true);
  layout->addWidget(tip);
  layout->addStretch();

  for (std::uint32_t id = kNewsFirstLayout; id <= kNewsLastLayout; ++id) {
    layouts_->button(static_cast<int>(id))->setIcon(LayoutPicture(id, nullptr));
  }
  connect(layouts_, &QButtonGroup::idClicked, this, [this] { drawContentsPictures(); });
  bindFlag(savePlacement_, kNewsWndLayoutSizeAndPosition);
  // The check box was made first; Tab reaches it after the pictures above.
  ApplyLayoutTabOrder(this);
}

void CCustomizeNNTPWindowLayout::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  storedLayout_ = settings.wndLayoutLayout;
  storedContents_ = settings.wndLayoutContents;
  // Unknown values show as the arrangement the window would use for them.
  const bool knownLayout = storedLayout_ >= kNewsFirstLayout && storedLayout_ <= kNewsLastLayout;
  const bool knownContents =
      storedContents_ >= kNewsFirstContents && storedContents_ <= kNewsLastContents;
  layouts_->button(static_cast<int>(knownLayout ? storedLayout_ : kNewsLastLayout))
      ->setChecked(true);
  contents_->button(static_cast<int>(knownContents ? storedContents_ : kNewsLastContents))
      ->setChecked(true);
  loadCheckBox(savePlacement_, kNewsWndLayoutSizeAndPosition);
  drawContentsPictures();
}

void CCustomizeNNTPWindowLayout::drawContentsPictures() {
  const auto layout = static_cast<std::uint32_t>(std::max(0, layouts_->checkedId()));
  for (std::uint32_t id = kNewsFirstContents; id <= kNewsLastContents; ++id) {
    const std::array<char, 3> letters = PaneLetters(id);
    contents_->button(static_cast<int>(id))->setIcon(LayoutPicture(layout, &letters));
  }
}

void CCustomizeNNTPWindowLayout::apply() {
  const int layout = layouts_->checkedId();
  const int contents = contents_->checkedId();
  if (layout < 0 || contents < 0) return;
  const auto chosenLayout = static_cast<std::uint32_t>(layout);
  const auto chosenContents = static_cast<std::uint32_t>(contents);
  if (chosenLayout == storedLayout_ && chosenContents == storedContents_) return;
  if (writeNumber(kNewsWndLayoutLayout, chosenLayout) &&
      writeNumber(kNewsWndLayoutContents, chosenContents)) {
    storedLayout_ = chosenLayout;
    storedContents_ = chosenContents;
  }
}

}  // namespace netrove
