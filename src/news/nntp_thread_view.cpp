#include "news/nntp_thread_view.h"

#include <QFontDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringList>
#include <QTextBlock>
#include <cstdlib>
#include <optional>

#include "news/article_save.h"
#include "news/mime_text.h"
#include "news/news_settings.h"
#include "widgets/transcript_printer.h"

namespace netrove {
namespace {

// Text shown so that character positions map back to bytes: UTF-8 when the
// article is valid UTF-8, else one character per byte; CR LF is one break.
bool IsUtf8(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString decoded = decoder(QByteArray::fromStdString(text));
  return !decoder.hasError() && !decoded.isNull();
}

// A CR that does not end a line is shown as a symbol: a line of its own
// would let an article pass text off as one of its header lines.
QString Shown(const std::string& text) {
  QString shown = IsUtf8(text) ? QString::fromUtf8(text) : QString::fromLatin1(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QChar(0x240D));
  return shown;
}

// The byte offset in `text` of the shown character `position`.
std::size_t StoredOffset(const std::string& text, bool utf8, int position) {
  std::size_t at = 0;
  int seen = 0;
  while (at < text.size() && seen < position) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      at += 2;
      ++seen;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (utf8 && byte >= 0xF0) {
      length = 4;
    } else if (utf8 && byte >= 0xE0) {
      length = 3;
    } else if (utf8 && byte >= 0xC0) {
      length = 2;
    }
    at += length;
    seen += length == 4 ? 2 : 1;  // beyond the BMP: two UTF-16 units
  }
  return std::min(at, text.size());
}

}  // namespace

CNNTPThreadView::CNNTPThreadView(INewsPaneHost& host, QWidget* parent)
    : QPlainTextEdit(parent), host_(host) {
  setObjectName(QStringLiteral("articleText"));
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  if (const auto stored = ParseNewsFont(ReadNewsSettings().articlesFont)) {
    QFont chosen(QString::fromStdString(stored->face));
    // The height is the character height in pixels at 96 dpi, negated.
    if (stored->height != 0) chosen.setPointSizeF(std::abs(stored->height) * 72.0 / 96.0);
    if (stored->weight >= 100 && stored->weight <= 900) {
      chosen.setWeight(static_cast<QFont::Weight>(stored->weight));
    }
    chosen.setItalic(stored->italic != 0);
    setFont(chosen);
  }
}

void CNNTPThreadView::articleArrived(const std::optional<std::string>& text) {
  if (text) {
    own_ = requestedOwn_;
    headerIncluded_ = requestedHeader_;
    hasArticle_ = true;
    show(ArticleForDisplay(*text, headerIncluded_));
  } else {
    own_ = false;
    hasArticle_ = false;
    show("Sorry. This article is no longer available.");
  }
  host_.articleShown(hasArticle_);
}

void CNNTPThreadView::articleRequested(bool own, bool headerIncluded) {
  requestedOwn_ = own;
  requestedHeader_ = headerIncluded;
}

void CNNTPThreadView::openGroup(const std::string& group) {
  group_ = group;
  clearArticle();
}

void CNNTPThreadView::clearArticle() {
  text_.clear();
  hasArticle_ = false;
  own_ = false;
  clear();
  host_.updateCommands();
}

void CNNTPThreadView::show(const std::string& text) {
  text_ = text;
  // Always plain text: an article never becomes markup.
  setPlainText(Shown(text_));
  host_.updateCommands();
}

void CNNTPThreadView::rot13() {
  if (!hasArticle_) return;
  const QTextCursor cursor = textCursor();
  const bool utf8 = IsUtf8(text_);
  const TextRange range =
      Rot13Range(text_, headerIncluded_, StoredOffset(text_, utf8, cursor.selectionStart()),
                 StoredOffset(text_, utf8, cursor.selectionEnd()));
  if (range.begin == range.end) return;
  const int scroll = verticalScrollBar()->value();
  Rot13(text_, range.begin, range.end);
  setPlainText(Shown(text_));
  verticalScrollBar()->setValue(scroll);
}

void CNNTPThreadView::saveArticle() {
  if (!hasArticle_) return;
  const NewsSettings settings = ReadNewsSettings();
  SaveArticle(SavedArticlePath(settings.articlesFolder, server_, group_), text_, host_.reporter());
}

int CNNTPThreadView::printTo(QPrinter& printer) const {
  return PrintTextTo(printer, text_, QStringLiteral("Newsreader"));
}

void CNNTPThreadView::setArticleFont() {
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font(), this, QStringLiteral("Font"));
  // The font stays with this window; it is not written to the settings.
  if (ok) setFont(chosen);
}

void CNNTPThreadView::includeArticle() {
  if (!hasArticle_) return;
  host_.compose(text_.substr(BodyStart(text_, headerIncluded_)), false);
}

void CNNTPThreadView::excludeArticle() {
  if (hasArticle_) host_.compose(std::nullopt, false);
}

void CNNTPThreadView::cancelArticle() {
  if (hasArticle_ && own_) host_.compose(std::nullopt, true);
}

}  // namespace netrove
