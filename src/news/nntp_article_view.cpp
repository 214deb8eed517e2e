#include "news/nntp_article_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "base/tool_message.h"
#include "news/mime_text.h"
#include "news/news_dialogs.h"
#include "news/news_server.h"
#include "news/news_settings.h"

namespace netrove {
namespace {

constexpr std::string_view kColumnNames[] = {kNewsColumnSubject, kNewsColumnFrom, kNewsColumnLines,
                                             kNewsColumnDate, kNewsColumnNumId};
constexpr long kCheckForNewCount = 100;

// A header value as one line: a CR or LF in it is shown as a symbol.
QString FromBytes(const std::string& text) {
  QString shown = QString::fromUtf8(text);
  shown.replace(QLatin1Char('\r'), QChar(0x240D));
  shown.replace(QLatin1Char('\n'), QChar(0x240A));
  return shown;
}

// A stored colour is 0x00BBGGRR.
QColor StoredColour(std::uint32_t value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace

CNNTPArticleView::CNNTPArticleView(INewsPaneHost& host, QWidget* parent)
    : QTreeWidget(parent), host_(host) {
  setObjectName(QStringLiteral("articles"));
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setHeaderLabels({QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Lines"),
                   QStringLiteral("Date"), QStringLiteral("Numeric ID")});
  const NewsSettings settings = ReadNewsSettings();
  const std::uint32_t widths[] = {settings.columnSubject, settings.columnFrom, settings.columnLines,
                                  settings.columnDate, settings.columnNumId};
  fitsColumns_ = !settings.wndLayoutSizeAndPosition;
  for (int column = 0; column < 5; ++column) {
    setColumnWidth(column, fitsColumns_ ? std::max(kNewsDefaultArticleColumnWidth,
                                                   header()->sectionSizeHint(column))
                                        : static_cast<int>(widths[column]));
  }
  unreadColour_ = StoredColour(settings.unreadColour);
  readColour_ = StoredColour(settings.readColour);
  connect(&checkTimer_, &QTimer::timeout, this, &CNNTPArticleView::checkForNew);
  connect(this, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { openArticleAt(indexOfTopLevelItem(item)); });
}

CNNTPArticleView::~CNNTPArticleView() {
  if (ReadNewsSettings().wndLayoutSizeAndPosition) {
    for (int column = 0; column < 5; ++column) {
      WriteNewsNumber(kColumnNames[column], static_cast<std::uint32_t>(columnWidth(column)));
    }
  }
}

template <class Work>
auto CNNTPArticleView::withGroup(Work work) {
  return NewsServers().With(server_, [&](CNewsServer* entry) {
    CNewsgroup* group = nullptr;
    if (entry != nullptr && !group_.empty()) {
      const auto found = entry->groups.find(group_);
      if (found != entry->groups.end()) group = &found->second;
    }
    return work(group, entry);
  });
}

long CNNTPArticleView::numberAt(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->data(4, Qt::UserRole).toLongLong() : 0;
}

// --- what the connection said ---------------------------------------------

void CNNTPArticleView::groupSelected(const NntpGroupCounts& counts, bool refreshed) {
  first_ = counts.first;
  last_ = counts.last;
  // Articles no longer on the server count as read.
  if (first_ > 1) {
    withGroup([&](CNewsgroup* group, CNewsServer*) {
      if (group) group->CatchUp(1, first_ - 1);
    });
  }
  if (refreshed) return;
  if (counts.count <= 0) {
    groupUnavailable(NntpGroupProblem::Empty);
    return;
  }
  if (topLevelItemCount() > 0) {
    retrievePrevious();
    return;
  }
  const long wanted = headersToFetch(counts.count);
  if (wanted <= 0) return;
  NntpWalk walk;
  walk.step = kNntpLast;
  walk.from = counts.last;
  walk.fromItself = true;
  walk.count = wanted;
  walk.known = knownNumbers();
  host_.walk(std::move(walk));
}

void CNNTPArticleView::groupUnavailable(NntpGroupProblem problem) {
  host_.reporter().PostToolMessage(kSourceNewsreader,
                                   problem == NntpGroupProblem::Empty
                                       ? "Sorry. This newsgroup is empty."
                                       : "Sorry. This newsgroup is no longer available.");
  if (!group_.empty()) host_.setGroupCount(group_, 0);
}

long CNNTPArticleView::headersToFetch(long estimated) {
  const long threshold = static_cast<long>(ReadNewsSettings().articlesRetrievingMoreThan);
  if (estimated <= threshold) {
    host_.setGroupCount(group_, 0);
    return estimated;
  }
  const auto chosen = host_.dialogs().askHeaderCount(this, estimated, estimated);
  if (!chosen) {
    host_.setGroupCount(group_, estimated);
    return 0;
  }
  const long wanted = std::clamp(*chosen, 0L, estimated);
  host_.setGroupCount(group_, estimated - wanted);
  return wanted;
}

std::set<long> CNNTPArticleView::knownNumbers() {
  std::set<long> numbers;
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    if (!group) return;
    for (const auto& [id, record] : group->Articles()) numbers.insert(record.number);
  });
  return numbers;
}

void CNNTPArticleView::fileHeaders(const std::vector<NntpHeaderBlock>& headers, int step) {
  bool duplicate = false;
  for (const NntpHeaderBlock& header : headers) {
    std::optional<FiledArticle> filed;
    std::optional<ArticleRecord> record;
    withGroup([&](CNewsgroup* group, CNewsServer*) {
      if (!group) return;
      filed = FileHeaderBlock(group->Articles(), header.text, header.number);
      if (filed->added) record = group->Articles().at(filed->id);
    });
    // No group open any more (the display changed meanwhile).
    if (!filed) return;
    if (!filed->added) {
      duplicate = true;
      continue;
    }
    if (flat_) {
      addRow(*record, -1, step == kNntpNext ? 0 : topLevelItemCount());
    } else if (!currentThread_) {
      currentThread_ = filed->id;
    }
  }
  if (!flat_) refill();
  fitColumnsOnce();
  if (duplicate) host_.dialogs().beep(false);
  host_.updateCommands();
}

// --- group ------------------------------------------------------------------

bool CNNTPArticleView::openGroup(const std::string& group, const std::string& server) {
  if (group == group_ && server == server_) return false;
  group_ = group;
  server_ = server;
  currentThread_.reset();
  pending_.reset();
  shown_.reset();
  withGroup([](CNewsgroup* opened, CNewsServer*) {
    if (opened) opened->Expand();
  });
  refill();
  return true;
}

void CNNTPArticleView::connectionClosed(bool connectionEnded) {
  group_.clear();
  currentThread_.reset();
  pending_.reset();
  shown_.reset();
  clear();
  // Only a real end stops the timer: a change of the group list's display
  // leaves the connection as it was.
  if (connectionEnded) checkTimer_.stop();
}

void CNNTPArticleView::startCheckTimer() {
  const std::uint32_t minutes = std::min<std::uint32_t>(ReadNewsSettings().articlesCheckForNew, 60);
  if (minutes == 0) {
    checkTimer_.stop();
    return;
  }
  checkTimer_.start(std::chrono::minutes(minutes));
}

void CNNTPArticleView::checkForNew() {
  // A tick while nothing is open or the connection is busy waits for the next.
  if (group_.empty() || !host_.connected() || host_.clientBusy()) return;
  walkFrom(false, kCheckForNewCount);
}

// A walk from the newest (or oldest) article filed. Looking for new
// articles selects the group again first: the server fixes a group's range
// when it is selected, so without it nothing newer is ever found.
void CNNTPArticleView::walkFrom(bool previous, long count) {
  NntpWalk walk;
  walk.step = previous ? kNntpLast : kNntpNext;
  walk.count = count;
  walk.known = knownNumbers();
  if (!walk.known.empty()) walk.from = previous ? *walk.known.begin() : *walk.known.rbegin();
  if (!previous) walk.group = group_;
  host_.walk(std::move(walk));
}

// --- showing ----------------------------------------------------------------

void CNNTPArticleView::addPlaceholderRow(int depth) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, FromBytes(std::string(static_cast<std::size_t>(depth), '>')) +
                       QStringLiteral("(not on the server)"));
  item->setData(4, Qt::UserRole, 0);
  for (int column = 0; column < 5; ++column) item->setForeground(column, readColour_);
  addTopLevelItem(item);
}

void CNNTPArticleView::addRow(const ArticleRecord& record, int depth, int at) {
  auto* item = new QTreeWidgetItem;
  const std::string indent(static_cast<std::size_t>(std::max(depth, 0)), '>');
  item->setText(0, FromBytes(indent + DecodeEncodedWords(record.subject)));
  item->setText(1, FromBytes(DecodeEncodedWords(record.from)));
  item->setText(2, FromBytes(record.lines));
  item->setText(3, FromBytes(record.date));
  item->setText(4, QString::number(record.number));
  item->setData(4, Qt::UserRole, static_cast<qlonglong>(record.number));
  const bool read = withGroup([&](CNewsgroup* group, CNewsServer*) {
    return group && group->Read().Contains(record.number);
  });
  for (int column = 0; column < 5; ++column) {
    item->setForeground(column, read ? readColour_ : unreadColour_);
  }
  insertTopLevelItem(at, item);
}

void CNNTPArticleView::refill() {
  clear();
  std::vector<std::pair<std::optional<ArticleRecord>, int>> rows;
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    if (!group) return;
    const ArticleTable& table = group->Articles();
    if (flat_) {
      for (const ArticleRecord* record : FlatOrder(table)) rows.emplace_back(*record, -1);
      return;
    }
    const std::vector<ArticleThread> threads = BuildThreads(table);
    if (threads.empty()) return;
    std::size_t shown = currentThread_ ? ThreadIndexOf(threads, *currentThread_) : 0;
    if (shown == threads.size()) shown = 0;
    currentThread_ = threads[shown].root;
    for (const ThreadedArticle& row : threads[shown].rows) {
      rows.emplace_back(row.record ? std::optional<ArticleRecord>(*row.record) : std::nullopt,
                        row.depth);
    }
  });
  for (const auto& [record, depth] : rows) {
    if (record) {
      addRow(*record, depth, topLevelItemCount());
    } else {
      addPlaceholderRow(depth);
    }
  }
  fitColumnsOnce();
}

void CNNTPArticleView::fitColumnsOnce() {
  if (!fitsColumns_ || topLevelItemCount() == 0) return;
  fitsColumns_ = false;
  int others = 0;
  for (int column = 1; column < 5; ++column) {
    // The last column stretches: its width is not what it needs.
    const int needed = std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
    setColumnWidth(column, needed);
    others += needed;
  }
  setColumnWidth(0, std::max(kNewsDefaultArticleColumnWidth, viewport()->width() - others));
}

void CNNTPArticleView::recolour() {
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    for (int row = 0; row < topLevelItemCount(); ++row) {
      const bool read = group && group->Read().Contains(numberAt(row));
      QTreeWidgetItem* item = topLevelItem(row);
      for (int column = 0; column < 5; ++column) {
        item->setForeground(column, read ? readColour_ : unreadColour_);
      }
    }
  });
}

// --- commands ---------------------------------------------------------------

void CNNTPArticleView::catchUp() {
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    if (group && last_ >= first_) group->CatchUp(first_, last_);
  });
  host_.readMarksChanged();
  recolour();
}

void CNNTPArticleView::catchUpThread() {
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    if (!group) return;
    for (int row = 0; row < topLevelItemCount(); ++row) {
      if (numberAt(row) > 0) group->MarkRead(numberAt(row));
    }
  });
  host_.readMarksChanged();
  recolour();
}

void CNNTPArticleView::toggleThreaded() {
  if (flat_) {
    const QTreeWidgetItem* selected = currentItem();
    currentThread_.reset();
    if (selected) {
      const long number = selected->data(4, Qt::UserRole).toLongLong();
      withGroup([&](CNewsgroup* group, CNewsServer*) {
        if (!group) return;
        if (const ArticleRecord* record = FindNumber(group->Articles(), number)) {
          currentThread_ = record->messageId;
        }
      });
    }
  }
  flat_ = !flat_;
  refill();
  host_.updateCommands();
}

void CNNTPArticleView::nextThread() { stepThread(1); }

void CNNTPArticleView::previousThread() { stepThread(-1); }

// To the next or previous thread, round from the last to the first.
void CNNTPArticleView::stepThread(int by) {
  withGroup([&](CNewsgroup* group, CNewsServer*) {
    if (!group) return;
    const std::vector<ArticleThread> threads = BuildThreads(group->Articles());
    if (threads.empty()) return;
    const auto count = static_cast<long>(threads.size());
    long at = currentThread_ ? static_cast<long>(ThreadIndexOf(threads, *currentThread_)) : 0;
    if (at == count) at = 0;
    currentThread_ = threads[static_cast<std::size_t>(((at + by) % count + count) % count)].root;
  });
  refill();
}

void CNNTPArticleView::retrieve(bool previous) {
  if (group_.empty()) return;
  const long threshold = static_cast<long>(ReadNewsSettings().articlesRetrievingMoreThan);
  const auto wanted = host_.dialogs().askHeaderCount(this, threshold, kHighestArticleNumber);
  if (!wanted || *wanted <= 0) return;
  walkFrom(previous, *wanted);
  if (previous) host_.lowerGroupCount(group_, *wanted);
}

void CNNTPArticleView::retrievePrevious() { retrieve(true); }
void CNNTPArticleView::retrieveNew() { retrieve(false); }

void CNNTPArticleView::toggleFullRowSelection() {
  setSelectionBehavior(fullRowSelection() ? QAbstractItemView::SelectItems
                                          : QAbstractItemView::SelectRows);
  viewport()->update();
  host_.updateCommands();
}

void CNNTPArticleView::openArticleAt(int row) {
  if (row < 0 || row >= topLevelItemCount() || !host_.connected()) return;
  const long number = numberAt(row);
  if (number <= 0) return;  // a placeholder
  const NewsSettings settings = ReadNewsSettings();
  std::optional<OpenedArticle> opened;
  withGroup([&](CNewsgroup* group, CNewsServer* entry) {
    if (!group) return;
    const ArticleRecord* record = FindNumber(group->Articles(), number);
    if (record == nullptr) return;
    // A follow-up starts from the readable forms; posting encodes them again.
    const std::string from = DecodeEncodedWords(record->from);
    opened = OpenedArticle{FollowUpReferences(*record),
                           record->messageId,
                           DecodeEncodedWords(record->subject),
                           from,
                           IsOwnArticle(from, settings.userAddress, settings.userFullName),
                           FollowUpGroups(record->newsgroups, record->followupTo, group_)};
    group->MarkRead(number);
    // Where the article was cross-posted it is read as well.
    for (const auto& [name, crossNumber] : XrefEntries(record->xref)) {
      if (name == group_) continue;
      const auto other = entry->groups.find(name);
      if (other == entry->groups.end()) continue;
      other->second.Expand();
      other->second.MarkRead(crossNumber);
    }
  });
  if (!opened) return;
  host_.readMarksChanged();
  // What a follow-up or cancel refers to changes only when the text arrives.
  pending_ = opened;
  host_.articleRequested(opened->own, settings.articlesRetrieveWithHeader == 0);
  host_.fetch(opened->messageId, settings.articlesRetrieveWithHeader != 0);
  recolour();
}

void CNNTPArticleView::articleArrived(bool available) {
  shown_ = available ? pending_ : std::nullopt;
  pending_.reset();
  host_.updateCommands();
}

void CNNTPArticleView::newArticle() {
  if (group_.empty() || !postingAllowed_) return;
  host_.openPostWindow(NewsPostMode::Post, {}, group_);
}

void CNNTPArticleView::compose(std::optional<std::string> text, bool cancel) {
  if (!shown_ || group_.empty()) return;
  NewsPostArticle article;
  article.subject = shown_->subject;
  article.from = shown_->from;
  article.articleKey = shown_->articleKey;
  article.messageId = shown_->messageId;
  if (cancel) {
    host_.openPostWindow(NewsPostMode::Cancel, article, shown_->followUp.newsgroups);
    return;
  }
  article.quotedText = std::move(text);
  if (shown_->followUp.toPoster) {
    host_.dialogs().information(
        this, QStringLiteral("Follow-up"),
        QStringLiteral("The author asked for replies by mail (Followup-To: poster). The "
                       "follow-up is addressed to the article's newsgroups; post it only if "
                       "the group should read it."));
  }
  host_.openPostWindow(NewsPostMode::FollowUp, article, shown_->followUp.newsgroups);
}

void CNNTPArticleView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (QTreeWidgetItem* item = currentItem()) openArticleAt(indexOfTopLevelItem(item));
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

}  // namespace netrove
