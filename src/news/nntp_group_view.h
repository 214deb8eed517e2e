#pragma once
// The newsgroup list pane of a newsreader window. It owns the window's
// connection: it connects and disconnects, queues every command (its own
// and, on their behalf, the other panes'), joins the server's shared group
// state and lists the groups filtered by subscription. A model/view list, so
// a server's hundred thousand groups show at once.
#include <QAbstractTableModel>
#include <QTableView>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "news/news_pane_host.h"

namespace netrove {

struct GroupRow {
  std::string name;
  bool subscribed = false;
};

class CGroupListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void reset(std::vector<GroupRow> rows, bool showSubscription);
  void clear() { reset({}, false); }
  void removeRowAt(int row);
  void setSubscribed(int row, bool subscribed);
  // The article count shown for a group ("?" until known).
  void setCount(const std::string& group, long count);
  // Counts for rows about to be rebuilt (no signal per count).
  void adoptCounts(std::vector<std::pair<std::string, long>> counts);
  std::optional<long> count(const std::string& group) const;
  const GroupRow& row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  int rowOf(const std::string& group) const;

 private:
  std::vector<GroupRow> rows_;
  std::unordered_map<std::string, long> counts_;
  bool showSubscription_ = false;
};

// The group list's mode right after a refresh that found new groups: only
// those are shown.
inline constexpr std::uint32_t kDisplayNewGroups = 0;

class CNNTPGroupView : public QTableView {
  Q_OBJECT

 public:
  explicit CNNTPGroupView(INewsPaneHost& host, QWidget* parent = nullptr);
  ~CNNTPGroupView() override;

  // The connection stands: the group list is asked for or shown from the
  // newsrc.
  void startListing(bool retrieve);
  void connectionEnded();

  // Newsgroups menu.
  void find();
  void findNext();
  void showMode(std::uint32_t mode);
  void refreshGroupList();
  void toggleSubscription();
  void toggleFullRowSelection();
  void openGroupAt(int row);

  // The width that shows both columns whole, with a vertical scroll bar.
  int columnsWidth() const;
  bool refreshing() const { return refreshing_; }
  std::uint32_t displayMode() const { return mode_; }
  bool fullRowSelection() const { return selectionBehavior() == QAbstractItemView::SelectRows; }
  CGroupListModel& groups() { return model_; }

  void setCount(const std::string& group, long count) { model_.setCount(group, count); }
  void lowerCount(const std::string& group, long by);

  // What the connection said.
  void groupListArrived(const std::string& list);
  void groupListRefused();
  void setBusyCursor(bool busy);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fillRows(std::uint32_t mode, const std::vector<std::string>* only = nullptr);
  // Without stored widths: the names are not cut, and the count column
  // keeps its whole header and takes what is left.
  void fitColumns();
  void selectRow(int row);
  bool selectNextMatch();
  void reportNoMatch();
  const std::string& server() const { return host_.serverName(); }

  INewsPaneHost& host_;
  CGroupListModel model_;
  bool fitsColumns_ = false;
  std::uint32_t mode_;
  bool refreshing_ = false;
};

}  // namespace netrove
