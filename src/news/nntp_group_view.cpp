#include "news/nntp_group_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>
#include <charconv>

#include "base/text_lines.h"
#include "base/tool_message.h"
#include "news/news_dialogs.h"
#include "news/news_server.h"
#include "news/news_settings.h"

namespace netrove {
namespace {

QString FromBytes(const std::string& text) { return QString::fromUtf8(text); }

// The Find text, shared by every newsreader window.
QString& FindText() {
  static QString text;
  return text;
}

// "name last first flag": the name and its article count (0 when last + 1
// is below first).
std::optional<std::pair<std::string_view, long>> ListedGroup(std::string_view line) {
  const std::size_t blank = line.find(' ');
  if (blank == 0 || line.empty()) return std::nullopt;
  const std::string_view name = line.substr(0, blank);
  if (blank == std::string_view::npos) return std::make_pair(name, 0L);
  long numbers[2] = {0, 0};
  const char* at = line.data() + blank;
  const char* end = line.data() + line.size();
  for (long& number : numbers) {
    while (at < end && *at == ' ') ++at;
    const auto read = std::from_chars(at, end, number);
    if (read.ec != std::errc()) return std::make_pair(name, 0L);
    at = read.ptr;
  }
  const long count = numbers[0] + 1 >= numbers[1] ? numbers[0] + 1 - numbers[1] : 0;
  return std::make_pair(name, count);
}

bool IsDisplayMode(std::uint32_t mode) {
  return mode == kNewsDisplayAll || mode == kNewsDisplaySubscribed ||
         mode == kNewsDisplayUnsubscribed;
}

}  // namespace

// --- model ------------------------------------------------------------------

int CGroupListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CGroupListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant CGroupListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const GroupRow& group = row(index.row());
  if (role == Qt::DisplayRole) {
    if (index.column() == 0) return FromBytes(group.name);
    const auto known = count(group.name);
    return known ? QString::number(*known) : QStringLiteral("?");
  }
  if (role == Qt::TextAlignmentRole && index.column() == 1) return int(Qt::AlignCenter);
  if (role == Qt::CheckStateRole && index.column() == 0 && showSubscription_) {
    return group.subscribed ? Qt::Checked : Qt::Unchecked;
  }
  return {};
}

QVariant CGroupListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section == 0 ? QStringLiteral("Groups") : QStringLiteral("Number of Articles");
}

void CGroupListModel::reset(std::vector<GroupRow> rows, bool showSubscription) {
  beginResetModel();
  rows_ = std::move(rows);
  showSubscription_ = showSubscription;
  endResetModel();
}

void CGroupListModel::removeRowAt(int row) {
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void CGroupListModel::setSubscribed(int row, bool subscribed) {
  rows_[static_cast<std::size_t>(row)].subscribed = subscribed;
  emit dataChanged(index(row, 0), index(row, 0));
}

void CGroupListModel::setCount(const std::string& group, long count) {
  counts_[group] = count;
  if (const int at = rowOf(group); at >= 0) emit dataChanged(index(at, 1), index(at, 1));
}

void CGroupListModel::adoptCounts(std::vector<std::pair<std::string, long>> counts) {
  counts_.reserve(counts_.size() + counts.size());
  for (auto& [group, count] : counts) counts_[std::move(group)] = count;
}

std::optional<long> CGroupListModel::count(const std::string& group) const {
  const auto found = counts_.find(group);
  if (found == counts_.end()) return std::nullopt;
  return found->second;
}

int CGroupListModel::rowOf(const std::string& group) const {
  // Rows are in name order (the server's map order), so a binary search.
  const auto found =
      std::lower_bound(rows_.begin(), rows_.end(), group,
                       [](const GroupRow& r, const std::string& n) { return r.name < n; });
  if (found == rows_.end() || found->name != group) return -1;
  return static_cast<int>(found - rows_.begin());
}

// --- view -------------------------------------------------------------------

CNNTPGroupView::CNNTPGroupView(INewsPaneHost& host, QWidget* parent)
    : QTableView(parent), host_(host), model_(this), mode_(kNewsDisplayAll) {
  setObjectName(QStringLiteral("newsgroups"));
  setModel(&model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setStretchLastSection(true);
  const NewsSettings settings = ReadNewsSettings();
  fitsColumns_ = !settings.wndLayoutSizeAndPosition;
  if (fitsColumns_) {
    setColumnWidth(0, kNewsDefaultGroupsWidth);
    fitColumns();
  } else {
    setColumnWidth(0, static_cast<int>(settings.columnGroups));
    setColumnWidth(1, static_cast<int>(settings.columnArticles));
  }
  connect(this, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { openGroupAt(index.row()); });
}

CNNTPGroupView::~CNNTPGroupView() {
  if (ReadNewsSettings().wndLayoutSizeAndPosition) {
    WriteNewsNumber(kNewsColumnGroups, static_cast<std::uint32_t>(columnWidth(0)));
    WriteNewsNumber(kNewsColumnArticles, static_cast<std::uint32_t>(columnWidth(1)));
  }
}

void CNNTPGroupView::startListing(bool retrieve) {
  const std::uint32_t display = ReadNewsSettings().newsgroupsDisplay;
  mode_ = IsDisplayMode(display) ? display : kNewsDisplayAll;
  if (retrieve && host_.queueGroupList()) {
    refreshing_ = true;
    return;
  }
  NewsServers().With(server(), [](CNewsServer* entry) {
    if (entry != nullptr && entry->groups.empty()) AddDefaultGroups(*entry);
  });
  fillRows(mode_);
}

void CNNTPGroupView::fillRows(std::uint32_t mode, const std::vector<std::string>* only) {
  std::vector<GroupRow> rows;
  NewsServers().With(server(), [&](CNewsServer* entry) {
    if (entry == nullptr) return;
    if (only != nullptr) {
      for (const std::string& name : *only) {
        const auto found = entry->groups.find(name);
        if (found != entry->groups.end()) rows.push_back({name, found->second.Subscribed()});
      }
      return;
    }
    rows.reserve(entry->groups.size());
    for (const auto& [name, group] : entry->groups) {
      const bool subscribed = group.Subscribed();
      if (mode == kNewsDisplayAll || (mode == kNewsDisplaySubscribed) == subscribed) {
        rows.push_back({name, subscribed});
      }
    }
  });
  model_.reset(std::move(rows), mode == kNewsDisplayAll || mode == kDisplayNewGroups);
  fitColumns();
}

int CNNTPGroupView::columnsWidth() const {
  const QHeaderView& header = *horizontalHeader();
  return columnWidth(0) + std::max(kNewsDefaultArticlesWidth, header.sectionSizeHint(1)) +
         2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

void CNNTPGroupView::fitColumns() {
  if (!fitsColumns_) return;
  QHeaderView& header = *horizontalHeader();
  // The names seen first set their column's width, even past the pane's
  // edge (the list then scrolls); the count column, which stretches, never
  // gets narrower than its header.
  setColumnWidth(
      0, std::max({kNewsDefaultGroupsWidth, sizeHintForColumn(0), header.sectionSizeHint(0)}));
  setColumnWidth(1, std::max(kNewsDefaultArticlesWidth, header.sectionSizeHint(1)));
}

void CNNTPGroupView::showMode(std::uint32_t mode) {
  if (!host_.connected() || refreshing_) return;
  if (mode == kNewsDisplayAll && mode_ == kNewsDisplayAll && model_.rowCount() > 0) return;
  mode_ = mode;
  fillRows(mode_);
  host_.groupDisplayChanged();
}

void CNNTPGroupView::refreshGroupList() {
  if (!host_.connected() || refreshing_) return;
  if (!host_.dialogs().askRefreshList(this)) return;
  if (host_.queueGroupList()) refreshing_ = true;
  host_.updateCommands();
}

void CNNTPGroupView::groupListRefused() {
  refreshing_ = false;
  host_.updateCommands();
}

void CNNTPGroupView::groupListArrived(const std::string& list) {
  // Which listed groups are new, and every listed group's count.
  std::vector<std::string> added;
  std::vector<std::pair<std::string, long>> counts;
  bool hadGroups = false;
  NewsServers().With(server(), [&](CNewsServer* entry) {
    if (entry == nullptr) return;
    hadGroups = !entry->groups.empty();
    std::string_view text = list;
    while (!text.empty()) {
      const std::string_view line = TakeLine(text);
      const auto listed = ListedGroup(line);
      if (!listed) continue;
      std::string name(listed->first);
      if (entry->groups.count(name) == 0) added.push_back(name);
      counts.emplace_back(std::move(name), listed->second);
    }
    AddGroupsFromList(*entry, list);
  });
  // The rows are rebuilt below: the counts go in without a signal each.
  model_.adoptCounts(std::move(counts));
  refreshing_ = false;
  std::sort(added.begin(), added.end());
  added.erase(std::unique(added.begin(), added.end()), added.end());
  if (!hadGroups) {
    mode_ = kNewsDisplayAll;
    fillRows(mode_);
  } else if (added.empty()) {
    host_.reporter().PostToolMessage(kSourceNewsreader, "There are no new newsgroups.");
    fillRows(mode_);
  } else {
    mode_ = kDisplayNewGroups;
    fillRows(mode_, &added);
  }
  host_.updateCommands();
}

void CNNTPGroupView::toggleSubscription() {
  const QModelIndexList selected = selectionModel()->selectedRows();
  std::vector<int> rows;
  for (const QModelIndex& index : selected) rows.push_back(index.row());
  std::sort(rows.rbegin(), rows.rend());  // removing from the bottom keeps the others' rows
  for (const int row : rows) {
    const std::string name = model_.row(row).name;
    const bool subscribe = mode_ == kNewsDisplayAll || mode_ == kDisplayNewGroups
                               ? !model_.row(row).subscribed
                               : mode_ == kNewsDisplayUnsubscribed;
    NewsServers().With(server(), [&](CNewsServer* entry) {
      if (entry == nullptr) return;
      const auto found = entry->groups.find(name);
      if (found != entry->groups.end()) found->second.SetSubscribed(subscribe);
    });
    if (mode_ == kNewsDisplayAll || mode_ == kDisplayNewGroups) {
      model_.setSubscribed(row, subscribe);
    } else {
      model_.removeRowAt(row);
    }
  }
  host_.updateCommands();
}

void CNNTPGroupView::toggleFullRowSelection() {
  setSelectionBehavior(fullRowSelection() ? QAbstractItemView::SelectItems
                                          : QAbstractItemView::SelectRows);
  viewport()->update();
  host_.updateCommands();
}

void CNNTPGroupView::openGroupAt(int row) {
  if (!host_.connected() || row < 0 || row >= model_.rowCount()) return;
  if (host_.clientBusy()) {
    host_.dialogs().beep(true);
    return;
  }
  host_.openGroup(model_.row(row).name);
}

void CNNTPGroupView::selectRow(int row) {
  const QModelIndex index = model_.index(row, 0);
  scrollTo(index);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  setFocus();
}

void CNNTPGroupView::find() {
  for (;;) {
    const auto text = host_.dialogs().askFindText(this, FindText());
    if (!text) return;
    FindText() = *text;
    if (selectNextMatch()) return;
    reportNoMatch();
  }
}

void CNNTPGroupView::findNext() {
  if (FindText().isEmpty()) {
    find();
    return;
  }
  if (!selectNextMatch()) reportNoMatch();
}

// From the row after the selection round to it again, so a search wraps.
bool CNNTPGroupView::selectNextMatch() {
  const int rows = model_.rowCount();
  const QModelIndexList selected = selectionModel()->selectedRows();
  const int first = selected.isEmpty() ? 0 : selected.front().row() + 1;
  const QByteArray wanted = FindText().toUtf8();
  for (int step = 0; step < rows; ++step) {
    const int row = (first + step) % rows;
    if (QByteArray::fromStdString(model_.row(row).name).contains(wanted)) {
      selectRow(row);
      return true;
    }
  }
  return false;
}

void CNNTPGroupView::reportNoMatch() {
  host_.dialogs().information(this, QStringLiteral("Find"),
                              QStringLiteral("Cannot find the string '%1'.").arg(FindText()));
}

void CNNTPGroupView::lowerCount(const std::string& group, long by) {
  const long now = model_.count(group).value_or(0);
  model_.setCount(group, std::max(0L, now - by));
}

void CNNTPGroupView::setBusyCursor(bool busy) {
  if (busy && host_.connected()) {
    viewport()->setCursor(Qt::WaitCursor);
  } else {
    viewport()->unsetCursor();
  }
}

void CNNTPGroupView::connectionEnded() {
  refreshing_ = false;
  mode_ = kNewsDisplayAll;
  model_.clear();
  setBusyCursor(false);
}

void CNNTPGroupView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    openGroupAt(currentIndex().row());
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace netrove
