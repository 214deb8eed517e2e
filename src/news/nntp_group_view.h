#pragma once
// The newsgroup list pane of a newsreader window. It owns the window's
// connection: it connects and disconnects, queues every command (its own
// and, on their behalf, the other panes'), joins the server's shared group
// state and lists the groups filtered by subscription. A model/view list, so
// a server's hundred thousand groups show at once.
#include <QAbstractTableModel>
#include <QTableView>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "news/nntp_messages.h"

namespace netrove {

class CNNTPConnection;
class CNNTPDoc;
class CNntpPaneBridge;

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
// newsgroupsRetrieveTheList.
inline constexpr std::uint32_t kRetrieveListYes = 0;
inline constexpr std::uint32_t kRetrieveListAsk = 2;

class CNNTPGroupView : public QTableView {
  Q_OBJECT

 public:
  explicit CNNTPGroupView(CNNTPDoc& doc, QWidget* parent = nullptr);
  ~CNNTPGroupView() override;

  // Server menu.
  bool canConnect() const { return !connection_; }
  bool canDisconnect() const { return connection_ != nullptr; }
  void connectToServer();
  void disconnect();

  // Newsgroups menu.
  void find();
  void findNext();
  void showMode(std::uint32_t mode);
  void refreshGroupList();
  void toggleSubscription();
  void toggleFullRowSelection();
  void openGroupAt(int row);

  bool connected() const { return connection_ != nullptr; }
  bool refreshing() const { return refreshing_; }
  std::uint32_t displayMode() const { return mode_; }
  bool fullRowSelection() const { return selectionBehavior() == QAbstractItemView::SelectRows; }
  // A command is outstanding.
  bool clientBusy() const;
  const std::string& serverName() const { return server_; }
  CGroupListModel& groups() { return model_; }

  // For the other panes.
  void getNew(std::optional<long> from, long count);
  void getPrevious(std::optional<long> from, long count);
  void fetch(const std::string& id, bool bodyOnly);
  void setCount(const std::string& group, long count) { model_.setCount(group, count); }
  void lowerCount(const std::string& group, long by);
  // Queues a posting window's article; false when nothing was queued.
  bool queuePost(std::string article, NntpWindow window);

  // What the connection says.
  long handle(const NntpMessage& message);
  void handleStatus(NntpWindow window, const NntpMessage& message);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void groupListArrived(const NntpMessage& message);
  void connectionEnded();
  void walk(int step, std::optional<long> from, long count);
  void fillRows(std::uint32_t mode, const std::vector<std::string>* only = nullptr);
  void showFault(long code, long command);
  void setBusyCursor(bool busy);
  void selectRow(int row);
  bool selectNextMatch();
  void reportNoMatch();
  NntpWindow windowId() const { return reinterpret_cast<NntpWindow>(this); }

  CNNTPDoc& doc_;
  CGroupListModel model_;
  CNntpPaneBridge* bridge_ = nullptr;
  std::unique_ptr<CNNTPConnection> connection_;
  std::string server_;
  std::uint32_t mode_;
  bool refreshing_ = false;
};

}  // namespace netrove
