#pragma once
// One file tree of the FTP window's Directories page: the local tree (the
// home folder and "/") or the remote tree (the server's folders as listings
// deliver them). The remote tree never talks to the server: it posts one
// typed request per operation (operationRequested()) and is told how the
// operation ended (operationEnded()).
// At most one remote operation runs at a time; while it runs the remote tree
// is busy and refuses clicks, keys, expansions and drags with a beep.
//
// A drag is run by the tree it started in: it captures the mouse, follows
// it over both trees and turns the drop into a download, an upload, a move
// on the server or a local copy or move.
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>
#include <optional>
#include <string>
#include <vector>

#include "transfer/ftp_folder_job.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_operation.h"
#include "transfer/ftp_tree_model.h"

class QLabel;

namespace netrove {

class CFtpPrompts;
class IMainWindowReporter;

class CFtpTreeCtrl : public QTreeView {
  Q_OBJECT

 public:
  enum class Side { Remote, Local };

  CFtpTreeCtrl(Side side, CFtpPrompts& prompts, IMainWindowReporter& reporter,
               QWidget* parent = nullptr);
  ~CFtpTreeCtrl() override;

  Side side() const { return side_; }
  int treeId() const;
  CFtpTreeModel* treeModel() const { return model_; }
  void setPartner(CFtpTreeCtrl* partner) { partner_ = partner; }
  // The local roots, listed afresh (tests use a folder of their own).
  void setLocalRoots(const QStringList& roots);

  // The remote tree's busy state: set when it posts a request, cleared by
  // the result that ends the operation.
  bool isIdle() const { return idle_; }
  void markBusy();

  // Connection made and page start: flags cleared; the local tree lists its roots.
  void prepare();
  void refresh();
  void newFolder();
  void deleteSelected();
  void renameSelected();
  // Double-click or Enter on a file: the editor request.
  void openSelected();

  // The drag, as the mouse drives it (global positions).
  void beginDrag(const QModelIndex& item, bool rightButton);
  void dragMoveTo(const QPoint& global);
  void dragRelease(const QPoint& global, bool rightButton);
  bool isDragging() const { return dragging_; }
  QModelIndex dropTarget() const { return dropTarget_; }

  // How a local file dropped on the server is stored (the local tree's
  // drops use it; the window's Store Options menu sets it).
  void setStoreMode(FtpStoreMode mode) { storeMode_ = mode; }
  FtpStoreMode storeMode() const { return storeMode_; }

  // Results of the connection (GUI thread).
  void release();
  void listingReceived(const std::vector<FtpListingEntry>& entries, const QString& rootLabel);
  // The end of the operation this tree requested last.
  void operationEnded(FtpOperationKind kind, FtpOutcome outcome);
  // The folder job this tree asked for is over (its summary is shown).
  void folderJobEnded();
  void setNewItemLabel(const QString& label);
  void clearRemote();

 signals:
  // Posted: the window acts on it after the tree has finished what it does.
  void operationRequested(const netrove::FtpRequest& request);
  // Posted: a folder dragged to the other side, as one job.
  void folderJobRequested(const netrove::FtpFolderJobPlan& plan);
  // A local file to open in the editor (no FTP traffic).
  void localEditWanted(const QString& path);
  // A right click inside the focused tree with no drag.
  void contextMenuWanted(const QPoint& global);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

 private:
  bool refusedWhileBusy();
  void post(FtpRequest request);
  void onExpanded(const QModelIndex& index);
  void onCollapsed(const QModelIndex& index);
  void listLocalFolder(const QModelIndex& folder);
  void startEditing(const QModelIndex& item);
  void onLabelCommitted(const QModelIndex& index, const QString& text);
  void onEditorClosed(bool cancelled);
  void commitLocalLabel(const QModelIndex& item, const QString& text);
  void commitRemoteLabel(const QModelIndex& item, const QString& text);
  void deleteLocal(const QModelIndex& item);
  void insertNewFolderItem(const QModelIndex& folder, const QString& label);

  CFtpTreeCtrl* treeAt(const QPoint& global) const;
  QModelIndex itemAt(CFtpTreeCtrl* tree, const QPoint& global) const;
  void setDropTarget(CFtpTreeCtrl* tree, const QModelIndex& item);
  void clearDropHighlight();
  void scrollIfInStrip(CFtpTreeCtrl* tree, const QPoint& global);
  void endDrag();
  void drop(CFtpTreeCtrl* target, const QModelIndex& on, bool move);
  void dropRemoteOnLocal(const QModelIndex& folder, const QModelIndex& placeholder);
  void dropLocalOnRemote(const QModelIndex& on, const QModelIndex& placeholder);
  void dropRemoteOnRemote(const QModelIndex& folder, const QModelIndex& placeholder);
  void dropLocalOnLocal(const QModelIndex& folder, const QModelIndex& placeholder);
  void dropFolderAcross(const QModelIndex& folder, const QModelIndex& placeholder, bool exists);
  void confirmReplace();
  bool chooseForExisting(FtpRequest& request, const QString& label);
  void transferEnded(FtpOutcome outcome);
  void serverMoveEnded(bool success);
  void renameEnded(bool success);
  void removeOperationItem();
  void dropDuplicatesOf(const QModelIndex& item);

  const Side side_;
  CFtpPrompts& prompts_;
  IMainWindowReporter& reporter_;
  CFtpTreeModel* model_;
  QPointer<CFtpTreeCtrl> partner_;
  QStringList localRoots_;

  bool idle_ = true;
  bool newFolderRemote_ = false;
  bool newFolderLocal_ = false;
  bool move_ = false;
  FtpStoreMode storeMode_ = FtpStoreMode::Replace;
  bool editCommitted_ = false;

  // The drag.
  bool dragging_ = false;
  bool rightDrag_ = false;
  QPoint pressPosition_;
  Qt::MouseButton pressButton_ = Qt::NoButton;
  QPersistentModelIndex pressedItem_;
  QPersistentModelIndex draggedItem_;
  QPointer<CFtpTreeCtrl> dropTree_;
  QPersistentModelIndex dropTarget_;
  // The row painted as drop target while a drag is over this tree.
  QPersistentModelIndex dropHighlight_;
  mutable bool buttonsRefreshQueued_ = false;
  QLabel* dragImage_ = nullptr;

  // The running operation: the item it concerns and the tree holding it.
  QPointer<CFtpTreeCtrl> operationTree_;
  QPersistentModelIndex operationItem_;
  // The request posted last: asked again, with leave to replace, when the
  // server already holds its target's name and the user agrees.
  FtpRequest pending_;
  // A renamed item's label before the rename, back when the server refuses.
  QString labelBeforeRename_;
};

}  // namespace netrove
