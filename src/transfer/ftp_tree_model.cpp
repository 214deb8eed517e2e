#include "transfer/ftp_tree_model.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>

namespace netrove {

struct CFtpTreeModel::Node {
  QString label;
  std::optional<std::string> name;
  FtpItemImage image = FtpItemImage::Folder;
  Node* parent = nullptr;
  int row = 0;
  std::vector<std::unique_ptr<Node>> children;
  bool listed = false;
  mutable std::optional<bool> hasEntries;  // the probe's answer, once asked

  bool isFile() const { return image == FtpItemImage::File; }
  void renumberFrom(std::size_t first) {
    for (std::size_t i = first; i < children.size(); ++i) children[i]->row = static_cast<int>(i);
  }
};

CFtpTreeModel::CFtpTreeModel(QChar separator, QObject* parent)
    : QAbstractItemModel(parent), separator_(separator), root_(std::make_unique<Node>()) {
  root_->listed = true;
  const QStyle* style = QApplication::style();
  driveIcon_ = style->standardIcon(QStyle::SP_DriveHDIcon);
  folderIcon_ = style->standardIcon(QStyle::SP_DirClosedIcon);
  // A selected folder shows open.
  for (const QSize& size : folderIcon_.availableSizes())
    folderIcon_.addPixmap(style->standardIcon(QStyle::SP_DirOpenIcon).pixmap(size),
                          QIcon::Selected);
  fileIcon_ = style->standardIcon(QStyle::SP_FileIcon);
}

CFtpTreeModel::~CFtpTreeModel() = default;

void CFtpTreeModel::setEmptinessProbe(std::function<bool(const QString&)> probe) {
  probe_ = std::move(probe);
}

CFtpTreeModel::Node* CFtpTreeModel::node(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex CFtpTreeModel::indexOf(const Node* item) const {
  if (item == nullptr || item == root_.get()) return {};
  return createIndex(item->row, 0, const_cast<Node*>(item));
}

QModelIndex CFtpTreeModel::addRoot(const QString& label, FtpItemImage image) {
  const int row = static_cast<int>(root_->children.size());
  beginInsertRows({}, row, row);
  auto item = std::make_unique<Node>();
  item->label = label;
  item->image = image;
  item->parent = root_.get();
  item->row = row;
  root_->children.push_back(std::move(item));
  endInsertRows();
  return index(row, 0);
}

void CFtpTreeModel::setChildren(const QModelIndex& parent,
                                const std::vector<FtpTreeEntry>& entries) {
  Node* folder = node(parent);
  forgetChildren(parent);
  folder->listed = true;
  folder->hasEntries = !entries.empty();
  if (entries.empty()) {
    // The expand button goes with the last child.
    emit dataChanged(parent, parent);
    return;
  }
  beginInsertRows(parent, 0, static_cast<int>(entries.size()) - 1);
  folder->children.reserve(entries.size());
  for (const FtpTreeEntry& entry : entries) {
    auto item = std::make_unique<Node>();
    item->label = entry.label;
    item->name = entry.name;
    item->image = entry.isFolder ? FtpItemImage::Folder : FtpItemImage::File;
    item->parent = folder;
    item->row = static_cast<int>(folder->children.size());
    folder->children.push_back(std::move(item));
  }
  endInsertRows();
}

QModelIndex CFtpTreeModel::insertItem(const QModelIndex& parent, int row, const QString& label,
                                      bool isFolder) {
  Node* folder = node(parent);
  row = std::clamp(row, 0, static_cast<int>(folder->children.size()));
  beginInsertRows(parent, row, row);
  auto item = std::make_unique<Node>();
  item->label = label;
  item->image = isFolder ? FtpItemImage::Folder : FtpItemImage::File;
  item->parent = folder;
  folder->children.insert(folder->children.begin() + row, std::move(item));
  folder->renumberFrom(static_cast<std::size_t>(row));
  folder->hasEntries = true;
  endInsertRows();
  return index(row, 0, parent);
}

void CFtpTreeModel::removeItem(const QModelIndex& index) {
  if (!index.isValid()) return;
  Node* item = node(index);
  Node* folder = item->parent;
  const int row = item->row;
  beginRemoveRows(index.parent(), row, row);
  folder->children.erase(folder->children.begin() + row);
  folder->renumberFrom(static_cast<std::size_t>(row));
  endRemoveRows();
  if (folder->children.empty() && folder->listed) {
    folder->hasEntries = false;
    const QModelIndex parentIndex = indexOf(folder);
    if (parentIndex.isValid()) emit dataChanged(parentIndex, parentIndex);
  }
}

void CFtpTreeModel::forgetChildren(const QModelIndex& parent) {
  Node* folder = node(parent);
  if (!folder->children.empty()) {
    beginRemoveRows(parent, 0, static_cast<int>(folder->children.size()) - 1);
    folder->children.clear();
    endRemoveRows();
  }
  folder->listed = false;
  folder->hasEntries.reset();
}

void CFtpTreeModel::clear() {
  beginResetModel();
  root_->children.clear();
  endResetModel();
}

void CFtpTreeModel::setLabel(const QModelIndex& index, const QString& label) {
  if (!index.isValid()) return;
  Node* item = node(index);
  item->label = label;
  item->name.reset();
  emit dataChanged(index, index);
}

QString CFtpTreeModel::label(const QModelIndex& index) const {
  return index.isValid() ? node(index)->label : QString();
}

std::string CFtpTreeModel::remoteName(const QModelIndex& index) const {
  const Node* item = node(index);
  return item->name ? *item->name : item->label.toStdString();
}

bool CFtpTreeModel::isFile(const QModelIndex& index) const {
  return index.isValid() && node(index)->isFile();
}

bool CFtpTreeModel::isListed(const QModelIndex& index) const { return node(index)->listed; }

QString CFtpTreeModel::fullPath(const QModelIndex& index) const {
  std::vector<const Node*> chain;
  for (const Node* item = node(index); item != nullptr && item != root_.get(); item = item->parent)
    chain.push_back(item);
  QString path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.isEmpty() && !path.endsWith(separator_)) path += separator_;
    path += (*it)->name ? QString::fromStdString(*(*it)->name) : (*it)->label;
  }
  return path;
}

std::string CFtpTreeModel::serverPath(const QModelIndex& index) const {
  std::vector<const Node*> chain;
  for (const Node* item = node(index); item != nullptr && item != root_.get(); item = item->parent)
    chain.push_back(item);
  const std::string separator = QString(separator_).toStdString();
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty() && !path.ends_with(separator)) path += separator;
    path += (*it)->name ? *(*it)->name : (*it)->label.toStdString();
  }
  return path;
}

QModelIndex CFtpTreeModel::folderOf(const QModelIndex& index) const {
  return isFile(index) ? index.parent() : index;
}

QModelIndex CFtpTreeModel::childByLabel(const QModelIndex& parent, const QString& label) const {
  for (const auto& child : node(parent)->children) {
    if (child->label == label) return indexOf(child.get());
  }
  return {};
}

bool CFtpTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  emit labelCommitted(index, value.toString());
  return true;
}

QModelIndex CFtpTreeModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* folder = node(parent);
  if (column != 0 || row < 0 || row >= static_cast<int>(folder->children.size())) return {};
  return createIndex(row, 0, folder->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CFtpTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return indexOf(node(child)->parent);
}

int CFtpTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(node(parent)->children.size());
}

int CFtpTreeModel::columnCount(const QModelIndex&) const { return 1; }

// Never looks at the disk: the view asks this of every row it lays out. An
// unlisted folder keeps its button until probeIfUnknown() finds it empty.
bool CFtpTreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* folder = node(parent);
  if (folder->isFile()) return false;
  if (!folder->children.empty()) return true;
  if (folder->hasEntries) return *folder->hasEntries;
  return !folder->listed;
}

bool CFtpTreeModel::probeIfUnknown(const QModelIndex& folder) {
  Node* item = node(folder);
  if (!folder.isValid() || item->isFile() || item->listed || item->hasEntries || !probe_)
    return false;
  ++probeCount_;
  item->hasEntries = probe_(fullPath(folder));
  return !*item->hasEntries;
}

void CFtpTreeModel::refreshButtons() {
  emit layoutAboutToBeChanged();
  emit layoutChanged();
}

QVariant CFtpTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node* item = node(index);
  if (role == Qt::DisplayRole || role == Qt::EditRole) return item->label;
  if (role == Qt::DecorationRole) return icon(item->image);
  return {};
}

QIcon CFtpTreeModel::icon(FtpItemImage image) const {
  switch (image) {
    case FtpItemImage::File:
      return fileIcon_;
    case FtpItemImage::Folder:
    case FtpItemImage::OpenFolder:
      return folderIcon_;
    default:
      return driveIcon_;
  }
}

Qt::ItemFlags CFtpTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!isRoot(index)) flags |= Qt::ItemIsEditable;
  return flags;
}

}  // namespace netrove
