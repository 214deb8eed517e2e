#include "transfer/ftp_tree_ctrl.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <cerrno>
#include <filesystem>

#include "base/tool_message.h"
#include "transfer/ftp_local_files.h"
#include "transfer/ftp_notify.h"
#include "transfer/ftp_prompts.h"
#include "transfer/ftp_transfer.h"
#include "transfer/ftp_window_ids.h"

namespace netrove {
namespace {

constexpr int kScrollStrip = 20;
const QChar kSeparator = QLatin1Char('/');

QString Join(const QString& folder, const QString& name) {
  return folder.endsWith(kSeparator) ? folder + name : folder + kSeparator + name;
}

std::filesystem::path LocalPath(const QString& path) { return path.toStdString(); }

}  // namespace

CFtpTreeCtrl::CFtpTreeCtrl(Side side, CFtpPrompts& prompts, IMainWindowReporter& reporter,
                           QWidget* parent)
    : QTreeView(parent),
      side_(side),
      prompts_(prompts),
      reporter_(reporter),
      model_(new CFtpTreeModel(kSeparator, this)) {
  setModel(model_);
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setEditTriggers(NoEditTriggers);
  setDragEnabled(false);
  setContextMenuPolicy(Qt::PreventContextMenu);
  setObjectName(side == Side::Local ? QStringLiteral("localTree") : QStringLiteral("remoteTree"));
  if (side == Side::Local) {
    model_->setEmptinessProbe(
        [](const QString& path) { return LocalFolderHasEntries(LocalPath(path)); });
    localRoots_ = {QDir::homePath(), QStringLiteral("/")};
  } else {
    setEnabled(false);
  }
  connect(this, &QTreeView::expanded, this, &CFtpTreeCtrl::onExpanded);
  connect(this, &QTreeView::collapsed, this, &CFtpTreeCtrl::onCollapsed);
  connect(model_, &CFtpTreeModel::labelCommitted, this, &CFtpTreeCtrl::onLabelCommitted);
  connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            onEditorClosed(hint == QAbstractItemDelegate::RevertModelCache);
          });
}

CFtpTreeCtrl::~CFtpTreeCtrl() {
  if (dragging_) QApplication::restoreOverrideCursor();
}

int CFtpTreeCtrl::treeId() const {
  return side_ == Side::Remote ? kFtpRemoteTreeId : kFtpLocalTreeId;
}

void CFtpTreeCtrl::markBusy() {
  if (side_ == Side::Local) {
    if (partner_) partner_->markBusy();
    return;
  }
  idle_ = false;
  if (underMouse()) viewport()->setCursor(Qt::WaitCursor);
}

void CFtpTreeCtrl::release() {
  if (side_ == Side::Local) {
    if (partner_) partner_->release();
    return;
  }
  idle_ = true;
  viewport()->unsetCursor();
}

bool CFtpTreeCtrl::refusedWhileBusy() {
  const CFtpTreeCtrl* remote = side_ == Side::Remote ? this : partner_.data();
  if (remote == nullptr || remote->idle_) return false;
  prompts_.beep();
  return true;
}

// Posted: the window acts on it after the tree has finished what it is doing.
void CFtpTreeCtrl::post(FtpRequest request) {
  pending_ = request;
  QMetaObject::invokeMethod(
      this, [this, request = std::move(request)] { emit operationRequested(request); },
      Qt::QueuedConnection);
}

namespace {

FtpRequest RequestFor(FtpOperationKind kind, std::string source, std::string target = {}) {
  FtpRequest request;
  request.kind = kind;
  request.source = std::move(source);
  request.target = std::move(target);
  return request;
}

// The server path of `name` inside the folder at `folder` (bytes).
std::string JoinBytes(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

}  // namespace

// ---- preparing, expanding, refreshing ----

void CFtpTreeCtrl::prepare() {
  newFolderRemote_ = newFolderLocal_ = move_ = false;
  operationItem_ = QPersistentModelIndex();
  if (side_ == Side::Local && model_->rowCount() == 0) {
    for (const QString& root : localRoots_) model_->addRoot(root, FtpItemImage::Drive);
  }
}

void CFtpTreeCtrl::setLocalRoots(const QStringList& roots) {
  localRoots_ = roots;
  model_->clear();
  prepare();
}

void CFtpTreeCtrl::listLocalFolder(const QModelIndex& folder) {
  int error = 0;
  const std::vector<LocalEntry> entries =
      ListLocalFolder(LocalPath(model_->fullPath(folder)), error);
  std::vector<FtpTreeEntry> items;
  items.reserve(entries.size());
  for (const LocalEntry& entry : entries)
    items.push_back({QString::fromStdString(entry.name), entry.isFolder, std::nullopt});
  model_->setChildren(folder, items);
  if (error != 0) reporter_.PostSystemError(error);
}

void CFtpTreeCtrl::onExpanded(const QModelIndex& index) {
  if (model_->isListed(index)) return;
  if (side_ == Side::Local) {
    listLocalFolder(index);
    return;
  }
  // The remote folder is listed by the server; the listing expands it.
  collapse(index);
  if (refusedWhileBusy()) return;
  markBusy();
  operationTree_ = this;
  operationItem_ = index;
  post(RequestFor(FtpOperationKind::OpenFolder, model_->serverPath(index)));
}

// A collapsed local folder is listed afresh when next opened.
void CFtpTreeCtrl::onCollapsed(const QModelIndex& index) {
  if (side_ == Side::Local && model_->isListed(index)) model_->forgetChildren(index);
}

void CFtpTreeCtrl::refresh() {
  QModelIndex folder = model_->folderOf(currentIndex());
  if (!folder.isValid()) folder = model_->index(0, 0);
  if (!folder.isValid()) return;
  if (side_ == Side::Local) {
    collapse(folder);
    model_->forgetChildren(folder);
    expand(folder);
    return;
  }
  if (refusedWhileBusy()) return;
  markBusy();
  model_->forgetChildren(folder);
  operationTree_ = this;
  operationItem_ = folder;
  post(RequestFor(FtpOperationKind::OpenFolder, model_->serverPath(folder)));
}

// ---- new folder, rename, delete, open ----

void CFtpTreeCtrl::insertNewFolderItem(const QModelIndex& folder, const QString& label) {
  const QModelIndex item = model_->insertItem(folder, 0, label, true);
  expand(folder);
  setCurrentIndex(item);
  startEditing(item);
}

void CFtpTreeCtrl::newFolder() {
  const QModelIndex folder = model_->folderOf(currentIndex());
  if (!folder.isValid()) return;
  if (side_ == Side::Local) {
    if (!model_->isListed(folder)) listLocalFolder(folder);
    newFolderLocal_ = true;
    insertNewFolderItem(folder, QStringLiteral("New Folder"));
    return;
  }
  if (refusedWhileBusy()) return;
  newFolderRemote_ = true;
  if (model_->isListed(folder)) {
    insertNewFolderItem(folder, QStringLiteral("NewFolder"));
    return;
  }
  // The listing inserts "NewFolder" once it has arrived.
  markBusy();
  operationTree_ = this;
  operationItem_ = folder;
  post(RequestFor(FtpOperationKind::OpenFolder, model_->serverPath(folder)));
}

void CFtpTreeCtrl::renameSelected() {
  const QModelIndex item = currentIndex();
  if (!item.isValid() || model_->isRoot(item)) return;
  if (side_ == Side::Remote && refusedWhileBusy()) return;
  startEditing(item);
}

void CFtpTreeCtrl::startEditing(const QModelIndex& item) {
  editCommitted_ = false;
  edit(item);
}

void CFtpTreeCtrl::onLabelCommitted(const QModelIndex& index, const QString& text) {
  editCommitted_ = true;
  if (text.isEmpty()) {
    onEditorClosed(true);
    return;
  }
  if (side_ == Side::Local) {
    commitLocalLabel(index, text);
  } else {
    commitRemoteLabel(index, text);
  }
}

void CFtpTreeCtrl::onEditorClosed(bool cancelled) {
  if (!cancelled && editCommitted_) return;
  editCommitted_ = true;
  if (!newFolderLocal_ && !newFolderRemote_) return;
  const QModelIndex item = currentIndex();
  newFolderLocal_ = newFolderRemote_ = false;
  if (item.isValid()) model_->removeItem(item);
  // A folder listed only to hold the new one leaves the tree busy.
  if (side_ == Side::Remote) release();
}

void CFtpTreeCtrl::commitLocalLabel(const QModelIndex& item, const QString& text) {
  const QString path = Join(model_->fullPath(item.parent()), text);
  const bool creating = newFolderLocal_;
  newFolderLocal_ = false;
  // A name with a "/" would reach into another folder.
  const int error = !IsSafeLocalName(text.toStdString()) ? EINVAL
                    : creating                           ? CreateLocalFolder(LocalPath(path))
                    : text == model_->label(item)
                        ? 0
                        : RenameLocal(LocalPath(model_->fullPath(item)), LocalPath(path));
  if (error == 0) {
    model_->setLabel(item, text);
    return;
  }
  if (creating) model_->removeItem(item);
  reporter_.PostSystemError(error);
}

void CFtpTreeCtrl::commitRemoteLabel(const QModelIndex& item, const QString& text) {
  const bool creating = newFolderRemote_;
  newFolderRemote_ = false;
  if (!creating && text == model_->label(item)) return;
  markBusy();
  operationTree_ = this;
  operationItem_ = item;
  if (creating) {
    model_->setLabel(item, text);
    post(RequestFor(FtpOperationKind::NewFolder, model_->serverPath(item)));
    return;
  }
  std::string source = model_->serverPath(item);
  std::string target = source.substr(0, source.rfind('/') + 1) + text.toStdString();
  labelBeforeRename_ = model_->label(item);
  model_->setLabel(item, text);
  post(RequestFor(FtpOperationKind::Rename, std::move(source), std::move(target)));
}

void CFtpTreeCtrl::deleteSelected() {
  if (!hasFocus()) {
    prompts_.beep();
    return;
  }
  const QModelIndex item = currentIndex();
  if (!item.isValid()) return;
  if (side_ == Side::Remote && refusedWhileBusy()) return;
  const QString question =
      QStringLiteral("Are you sure you want to delete '%1'?").arg(model_->label(item));
  if (!prompts_.askYesNo(this, question)) return;
  if (side_ == Side::Local) {
    deleteLocal(item);
    return;
  }
  markBusy();
  operationTree_ = this;
  operationItem_ = item;
  FtpRequest request = RequestFor(FtpOperationKind::Delete, model_->serverPath(item));
  request.sourceIsFolder = !model_->isFile(item);
  post(std::move(request));
}

// The user's own files: the first failure is reported and ends the delete,
// so one refused file never turns into a flood of boxes or a half-emptied
// tree the user did not expect.
void CFtpTreeCtrl::deleteLocal(const QModelIndex& item) {
  std::filesystem::path failed;
  const int error = DeleteLocalTree(LocalPath(model_->fullPath(item)), failed);
  if (error == 0) {
    model_->removeItem(item);
    return;
  }
  reporter_.PostSystemError(error);
  collapse(item);
  if (!model_->isFile(item)) model_->forgetChildren(item);
}

void CFtpTreeCtrl::openSelected() {
  const QModelIndex item = currentIndex();
  if (!model_->isFile(item)) return;
  if (side_ == Side::Local) {
    const QString path = model_->fullPath(item);
    QMetaObject::invokeMethod(
        this, [this, path] { emit localEditWanted(path); }, Qt::QueuedConnection);
    return;
  }
  if (refusedWhileBusy()) return;
  markBusy();
  post(RequestFor(FtpOperationKind::EditDownload, model_->serverPath(item)));
}

// ---- mouse and keys ----

void CFtpTreeCtrl::mousePressEvent(QMouseEvent* event) {
  if (side_ == Side::Remote && refusedWhileBusy()) return;
  pressPosition_ = event->position().toPoint();
  pressButton_ = event->button();
  pressedItem_ = indexAt(pressPosition_);
  QTreeView::mousePressEvent(event);
}

void CFtpTreeCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    dragMoveTo(event->globalPosition().toPoint());
    return;
  }
  const bool farEnough = (event->position().toPoint() - pressPosition_).manhattanLength() >=
                         QApplication::startDragDistance();
  if (pressButton_ != Qt::NoButton && pressedItem_.isValid() && farEnough) {
    beginDrag(pressedItem_, pressButton_ == Qt::RightButton);
    return;
  }
  QTreeView::mouseMoveEvent(event);
}

void CFtpTreeCtrl::mouseReleaseEvent(QMouseEvent* event) {
  const Qt::MouseButton pressed = pressButton_;
  pressButton_ = Qt::NoButton;
  if (dragging_) {
    dragRelease(event->globalPosition().toPoint(), event->button() == Qt::RightButton);
    return;
  }
  if (pressed == Qt::RightButton && event->button() == Qt::RightButton) {
    emit contextMenuWanted(event->globalPosition().toPoint());
    return;
  }
  QTreeView::mouseReleaseEvent(event);
}

void CFtpTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (side_ == Side::Remote && refusedWhileBusy()) return;
  const QModelIndex item = indexAt(event->position().toPoint());
  if (model_->isFile(item)) {
    setCurrentIndex(item);
    openSelected();
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
}

void CFtpTreeCtrl::keyPressEvent(QKeyEvent* event) {
  if (state() != EditingState && side_ == Side::Remote && refusedWhileBusy()) return;
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      state() != EditingState && model_->isFile(currentIndex())) {
    openSelected();
    return;
  }
  QTreeView::keyPressEvent(event);
}

// The drop target shows highlighted while a drag is over it.
void CFtpTreeCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  // Only painted rows are looked into; empty ones lose their button in one
  // relayout after the paint.
  if (model_->probeIfUnknown(index) && !buttonsRefreshQueued_) {
    buttonsRefreshQueued_ = true;
    QMetaObject::invokeMethod(
        const_cast<CFtpTreeCtrl*>(this),
        [this] {
          buttonsRefreshQueued_ = false;
          model_->refreshButtons();
        },
        Qt::QueuedConnection);
  }
  QStyleOptionViewItem row(option);
  if (index.isValid() && dropHighlight_ == index) row.state |= QStyle::State_Selected;
  QTreeView::drawRow(painter, row, index);
}

// ---- drag and drop ----

void CFtpTreeCtrl::beginDrag(const QModelIndex& item, bool rightButton) {
  if (!item.isValid() || dragging_) return;
  if (side_ == Side::Remote && refusedWhileBusy()) return;
  dragging_ = true;
  rightDrag_ = rightButton;
  move_ = false;
  draggedItem_ = item;
  if (dragImage_ == nullptr) {
    dragImage_ = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
    dragImage_->setTextFormat(Qt::PlainText);
  }
  dragImage_->setText(model_->label(item));
  viewport()->grabMouse();
  QApplication::setOverrideCursor(Qt::ArrowCursor);
}

CFtpTreeCtrl* CFtpTreeCtrl::treeAt(const QPoint& global) const {
  for (CFtpTreeCtrl* tree : {const_cast<CFtpTreeCtrl*>(this), partner_.data()}) {
    if (tree == nullptr || !tree->isVisible()) continue;
    if (tree->viewport()->rect().contains(tree->viewport()->mapFromGlobal(global))) return tree;
  }
  return nullptr;
}

QModelIndex CFtpTreeCtrl::itemAt(CFtpTreeCtrl* tree, const QPoint& global) const {
  return tree->indexAt(tree->viewport()->mapFromGlobal(global));
}

void CFtpTreeCtrl::setDropTarget(CFtpTreeCtrl* tree, const QModelIndex& item) {
  if (dropTree_ != tree || dropTarget_ != item) clearDropHighlight();
  dropTree_ = tree;
  dropTarget_ = item;
  if (tree != nullptr) {
    tree->dropHighlight_ = item;
    tree->viewport()->update();
  }
}

void CFtpTreeCtrl::clearDropHighlight() {
  if (dropTree_) {
    dropTree_->dropHighlight_ = QPersistentModelIndex();
    dropTree_->viewport()->update();
  }
  dropTree_ = nullptr;
  dropTarget_ = QPersistentModelIndex();
}

void CFtpTreeCtrl::scrollIfInStrip(CFtpTreeCtrl* tree, const QPoint& global) {
  const int y = tree->viewport()->mapFromGlobal(global).y();
  QScrollBar* bar = tree->verticalScrollBar();
  if (y < kScrollStrip) {
    bar->setValue(bar->value() - bar->singleStep());
  } else if (y >= tree->viewport()->height() - kScrollStrip) {
    bar->setValue(bar->value() + bar->singleStep());
  }
}

void CFtpTreeCtrl::dragMoveTo(const QPoint& global) {
  if (!dragging_) return;
  dragImage_->move(global + QPoint(12, 12));
  if (!dragImage_->isVisible()) dragImage_->show();
  CFtpTreeCtrl* tree = treeAt(global);
  if (tree == nullptr) {
    clearDropHighlight();
    QApplication::changeOverrideCursor(Qt::ForbiddenCursor);
    return;
  }
  scrollIfInStrip(tree, global);
  if (tree->side_ == Side::Remote && !tree->idle_) {
    clearDropHighlight();
    QApplication::changeOverrideCursor(Qt::WaitCursor);
    return;
  }
  setDropTarget(tree, itemAt(tree, global));
  // A remote item reaches another remote folder only by the right-button menu.
  const bool refused = side_ == Side::Remote && tree->side_ == Side::Remote && !rightDrag_;
  QApplication::changeOverrideCursor(refused ? Qt::ForbiddenCursor : Qt::ArrowCursor);
}

void CFtpTreeCtrl::endDrag() {
  dragging_ = false;
  viewport()->releaseMouse();
  QApplication::restoreOverrideCursor();
  if (dragImage_ != nullptr) dragImage_->hide();
}

void CFtpTreeCtrl::dragRelease(const QPoint& global, bool rightButton) {
  if (!dragging_) return;
  dragMoveTo(global);
  endDrag();
  const QPointer<CFtpTreeCtrl> tree = dropTree_;
  const QModelIndex target = dropTarget_;
  if (!tree || !target.isValid()) {
    clearDropHighlight();
    return;
  }
  if (!rightButton) {
    clearDropHighlight();
    if (side_ == Side::Remote && tree->side_ == Side::Remote) return;
    drop(tree, target, false);
    return;
  }
  const DropChoice choice = prompts_.chooseDrop(this, global, side_ == Side::Local);
  clearDropHighlight();
  if (choice == DropChoice::Cancel || !tree || !target.isValid()) return;
  drop(tree, target, choice == DropChoice::Move);
}

void CFtpTreeCtrl::drop(CFtpTreeCtrl* target, const QModelIndex& on, bool move) {
  if (!draggedItem_.isValid()) return;
  if (side_ == Side::Remote && target->side_ == Side::Remote && !move) {
    prompts_.beep();
    return;
  }
  if ((side_ == Side::Remote || target->side_ == Side::Remote) && refusedWhileBusy()) return;
  move_ = move;
  const QModelIndex folder = target->model_->folderOf(on);
  QString label = model_->label(draggedItem_);
  if (side_ == Side::Local && target->side_ == Side::Remote) {
    if (storeMode_ == FtpStoreMode::Unique) label = QStringLiteral("****");
    if (storeMode_ == FtpStoreMode::Append && target->model_->isFile(on))
      label = target->model_->label(on);
  }
  // A local folder is listed before it takes the placeholder, so that
  // opening it later does not list the placeholder away.
  if (target->side_ == Side::Local && !target->model_->isListed(folder))
    target->listLocalFolder(folder);
  const bool folderAcross = side_ != target->side_ && !model_->isFile(draggedItem_);
  const bool folderExists = target->model_->childByLabel(folder, label).isValid();
  const QModelIndex placeholder =
      target->model_->insertItem(folder, target->model_->rowCount(folder), label, folderAcross);
  operationTree_ = target;
  operationItem_ = placeholder;
  if (folderAcross) {
    dropFolderAcross(folder, placeholder, folderExists);
  } else if (side_ == Side::Remote && target->side_ == Side::Local) {
    dropRemoteOnLocal(folder, placeholder);
  } else if (side_ == Side::Local && target->side_ == Side::Remote) {
    dropLocalOnRemote(on, placeholder);
  } else if (side_ == Side::Remote) {
    dropRemoteOnRemote(folder, placeholder);
  } else {
    dropLocalOnLocal(folder, placeholder);
  }
}

void CFtpTreeCtrl::dropRemoteOnLocal(const QModelIndex& folder, const QModelIndex& placeholder) {
  const QString label = partner_->model_->label(placeholder);
  // A name the server gave must not reach outside the folder dropped on.
  if (!IsSafeLocalName(label.toStdString())) {
    reporter_.PostToolMessage(kSourceFtp, UnsafeNameMessage(label.toStdString()));
    partner_->model_->removeItem(placeholder);
    return;
  }
  FtpRequest request = RequestFor(FtpOperationKind::Download, model_->serverPath(draggedItem_),
                                  Join(partner_->model_->fullPath(folder), label).toStdString());
  std::error_code ignored;
  const bool exists = std::filesystem::exists(request.target, ignored) ||
                      std::filesystem::exists(PartialDownloadPath(request.target), ignored);
  if (exists && !chooseForExisting(request, label)) {
    partner_->model_->removeItem(placeholder);
    return;
  }
  markBusy();
  request.move = move_;
  request.sourceIsFolder = !model_->isFile(draggedItem_);
  post(std::move(request));
}

void CFtpTreeCtrl::dropLocalOnRemote(const QModelIndex& on, const QModelIndex& placeholder) {
  CFtpTreeModel* remote = partner_->model_;
  markBusy();
  const bool appending = storeMode_ == FtpStoreMode::Append && remote->isFile(on);
  FtpRequest request =
      RequestFor(FtpOperationKind::Upload, model_->fullPath(draggedItem_).toStdString(),
                 appending ? remote->serverPath(on) : remote->serverPath(placeholder));
  request.store = storeMode_;
  request.move = move_;
  post(std::move(request));
}

void CFtpTreeCtrl::dropRemoteOnRemote(const QModelIndex& folder, const QModelIndex& placeholder) {
  std::string source = model_->serverPath(draggedItem_);
  std::string target = JoinBytes(model_->serverPath(folder), model_->remoteName(draggedItem_));
  if (draggedItem_.parent() == QModelIndex(folder) || source == target) {
    model_->removeItem(placeholder);
    return;
  }
  markBusy();
  viewport()->setCursor(Qt::WaitCursor);
  post(RequestFor(FtpOperationKind::ServerMove, std::move(source), std::move(target)));
}

// A folder goes with everything in it, as one job of the window; a move is
// a copy here (a whole tree is never deleted on the word of one job). Where
// the folder exists already, the user chooses for the files that exist on
// both sides.
void CFtpTreeCtrl::dropFolderAcross(const QModelIndex& folder, const QModelIndex& placeholder,
                                    bool exists) {
  CFtpTreeModel* target = partner_->model_;
  const QString label = target->label(placeholder);
  FtpFolderJobPlan plan;
  if (side_ == Side::Remote) {
    if (!IsSafeLocalName(label.toStdString())) {
      reporter_.PostToolMessage(kSourceFtp, UnsafeNameMessage(label.toStdString()));
      target->removeItem(placeholder);
      return;
    }
    plan.direction = FtpFolderDirection::Download;
    plan.remote = model_->serverPath(draggedItem_);
    plan.local = LocalPath(Join(target->fullPath(folder), label));
  } else {
    plan.direction = FtpFolderDirection::Upload;
    plan.remote = target->serverPath(placeholder);
    plan.local = LocalPath(model_->fullPath(draggedItem_));
  }
  plan.existing = FtpExistingFiles::Overwrite;
  if (exists) {
    switch (prompts_.askExisting(this, label, true)) {
      case ExistingChoice::Resume:
        plan.existing = FtpExistingFiles::Resume;
        break;
      case ExistingChoice::Overwrite:
        break;
      case ExistingChoice::Skip:
        plan.existing = FtpExistingFiles::Skip;
        break;
    }
  }
  markBusy();
  QMetaObject::invokeMethod(
      this, [this, plan = std::move(plan)] { emit folderJobRequested(plan); },
      Qt::QueuedConnection);
}

void CFtpTreeCtrl::folderJobEnded() {
  dropDuplicatesOf(operationItem_);
  operationItem_ = QPersistentModelIndex();
  release();
}

// Local copies and moves: a file that exists is replaced only after the
// question, and a move that cannot finish leaves its source where it was.
void CFtpTreeCtrl::dropLocalOnLocal(const QModelIndex& folder, const QModelIndex& placeholder) {
  const QString label = model_->label(placeholder);
  const auto from = LocalPath(model_->fullPath(draggedItem_));
  const auto to = LocalPath(Join(model_->fullPath(folder), label));
  if (from == to) {
    model_->removeItem(placeholder);
    return;
  }
  if (!model_->isFile(draggedItem_) && IsSameOrInside(to, from)) {
    reporter_.PostToolMessage(kSourceFtp, "A folder cannot be copied or moved into itself.");
    model_->removeItem(placeholder);
    return;
  }
  const auto act = [&](bool replace) {
    return move_ ? MoveLocal(from, to, replace) : CopyLocal(from, to, replace);
  };
  int error = act(false);
  if (error == EEXIST || error == ENOTEMPTY) {
    if (!prompts_.askYesNo(this, QString::fromStdString(ConfirmReplaceText(label.toStdString())))) {
      model_->removeItem(placeholder);
      return;
    }
    error = act(true);
  }
  if (error != 0) {
    reporter_.PostSystemError(error);
    model_->removeItem(placeholder);
    return;
  }
  const QPersistentModelIndex kept(placeholder);
  if (move_) model_->removeItem(draggedItem_);
  dropDuplicatesOf(kept);
}

// ---- results ----

void CFtpTreeCtrl::removeOperationItem() {
  if (operationTree_ && operationItem_.isValid())
    operationTree_->model_->removeItem(operationItem_);
  operationItem_ = QPersistentModelIndex();
}

// A transfer onto a name the folder showed already leaves one item of it.
void CFtpTreeCtrl::dropDuplicatesOf(const QModelIndex& item) {
  if (!item.isValid()) return;
  auto* model = const_cast<CFtpTreeModel*>(static_cast<const CFtpTreeModel*>(item.model()));
  const QPersistentModelIndex keep(item);
  while (true) {
    const QModelIndex parent = keep.parent();
    QModelIndex other;
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex sibling = model->index(row, 0, parent);
      if (sibling != keep && model->label(sibling) == model->label(keep)) other = sibling;
    }
    if (!other.isValid()) return;
    model->removeItem(other);
  }
}

void CFtpTreeCtrl::listingReceived(const std::vector<FtpListingEntry>& entries,
                                   const QString& rootLabel) {
  QModelIndex parent = operationTree_ == this ? QModelIndex(operationItem_) : QModelIndex();
  if (!parent.isValid()) parent = model_->addRoot(rootLabel, FtpItemImage::Drive);
  std::vector<FtpTreeEntry> items;
  items.reserve(entries.size());
  for (const FtpListingEntry& entry : entries) {
    const QString label = QString::fromStdString(entry.label);
    // A name that is not UTF-8 would come back as U+FFFD bytes: its own
    // bytes go back to the server.
    std::optional<std::string> name;
    if (label.toStdString() != entry.name) name = entry.name;
    items.push_back({label, entry.isFolder, std::move(name)});
  }
  model_->setChildren(parent, items);
  setEnabled(true);
  expand(parent);
  if (newFolderRemote_) insertNewFolderItem(parent, QStringLiteral("NewFolder"));
}

void CFtpTreeCtrl::operationEnded(FtpOperationKind kind, FtpOutcome outcome) {
  if (outcome == FtpOutcome::NameExists) {
    // Asked once the result has been delivered, never inside it.
    QMetaObject::invokeMethod(this, &CFtpTreeCtrl::confirmReplace, Qt::QueuedConnection);
    return;
  }
  const bool success = outcome == FtpOutcome::Succeeded;
  switch (kind) {
    case FtpOperationKind::OpenFolder:
    case FtpOperationKind::List:
      operationItem_ = QPersistentModelIndex();
      // A folder listed only to hold a new one stays busy until it is named.
      if (success && newFolderRemote_) return;
      break;
    case FtpOperationKind::Download:
    case FtpOperationKind::Upload:
      transferEnded(outcome);
      break;
    case FtpOperationKind::ServerMove:
      serverMoveEnded(success);
      break;
    case FtpOperationKind::Rename:
      renameEnded(success);
      break;
    case FtpOperationKind::Delete:
      if (success && operationItem_.isValid() && operationTree_)
        operationTree_->model_->removeItem(operationItem_);
      operationItem_ = QPersistentModelIndex();
      break;
    case FtpOperationKind::NewFolder:
      if (success) {
        setCurrentIndex(operationItem_);
      } else {
        removeOperationItem();
      }
      operationItem_ = QPersistentModelIndex();
      break;
    case FtpOperationKind::EditDownload:
      break;
  }
  release();
}

// Resume / Overwrite / Skip: false for Skip, which changes nothing.
bool CFtpTreeCtrl::chooseForExisting(FtpRequest& request, const QString& label) {
  switch (prompts_.askExisting(this, label, false)) {
    case ExistingChoice::Resume:
      request.resume = true;
      return true;
    case ExistingChoice::Overwrite:
      request.replace = true;
      return true;
    case ExistingChoice::Skip:
      break;
  }
  return false;
}

void CFtpTreeCtrl::confirmReplace() {
  const QString label = draggedItem_.isValid() ? model_->label(draggedItem_) : QString();
  const CFtpTreeCtrl* remote = side_ == Side::Remote ? this : partner_.data();
  FtpRequest again = pending_;
  const bool goOn =
      again.kind == FtpOperationKind::Upload
          ? chooseForExisting(again, label)
          : prompts_.askYesNo(this,
                              QString::fromStdString(ConfirmReplaceText(label.toStdString())));
  if (goOn && remote != nullptr && remote->isEnabled()) {
    again.replace = true;
    post(std::move(again));
    return;
  }
  removeOperationItem();
  release();
}

// A download or an upload: the new item stays only when the copy is
// complete, and a move's source item goes only when the source has gone.
void CFtpTreeCtrl::transferEnded(FtpOutcome outcome) {
  if (outcome == FtpOutcome::Failed) {
    removeOperationItem();
    return;
  }
  dropDuplicatesOf(operationItem_);
  operationItem_ = QPersistentModelIndex();
  if (move_ && outcome == FtpOutcome::Succeeded && draggedItem_.isValid()) {
    model_->removeItem(draggedItem_);
  }
}

void CFtpTreeCtrl::serverMoveEnded(bool success) {
  if (success) {
    const QPersistentModelIndex moved(operationItem_);
    model_->removeItem(draggedItem_);
    dropDuplicatesOf(moved);
  } else {
    removeOperationItem();
  }
  operationItem_ = QPersistentModelIndex();
}

void CFtpTreeCtrl::renameEnded(bool success) {
  if (!success && operationItem_.isValid()) model_->setLabel(operationItem_, labelBeforeRename_);
  operationItem_ = QPersistentModelIndex();
}

void CFtpTreeCtrl::setNewItemLabel(const QString& label) {
  if (operationTree_ && operationItem_.isValid())
    operationTree_->model_->setLabel(operationItem_, label.trimmed());
}

void CFtpTreeCtrl::clearRemote() {
  model_->clear();
  operationItem_ = QPersistentModelIndex();
  draggedItem_ = QPersistentModelIndex();
}

}  // namespace netrove
