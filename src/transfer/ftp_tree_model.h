#pragma once
// The items of one file tree of the FTP window. A folder that has not been
// listed yet shows an expand button without holding any child; whether a
// local folder is empty is found out only when its row is painted (or it is
// opened), so a folder of 100,000 entries costs one sort and one bulk
// insert, never a probe per entry: the view asks hasChildren() of every row
// when it lays them out.
#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace netrove {

// The images of the items; an item's kind is read from its image.
enum class FtpItemImage { Drive = 0, Removable, CdRom, Folder, OpenFolder, File };

struct FtpTreeEntry {
  QString label;
  bool isFolder = false;
  // What goes back to the server when it differs from the label.
  std::optional<std::string> name;
};

class CFtpTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // `separator` goes between two labels of a full path.
  explicit CFtpTreeModel(QChar separator, QObject* parent = nullptr);
  ~CFtpTreeModel() override;

  // Tells whether the folder at a full path holds anything; without it an
  // unlisted folder always shows its expand button.
  void setEmptinessProbe(std::function<bool(const QString&)> probe);
  // Looks into an unlisted folder the view shows; true when it turned out
  // empty, so its expand button is to go (see refreshButtons()).
  bool probeIfUnknown(const QModelIndex& folder);
  // Has the views ask again which folders show an expand button.
  void refreshButtons();
  // How many times the probe ran (for the tests of large folders).
  std::uint64_t probeCount() const { return probeCount_; }

  QModelIndex addRoot(const QString& label, FtpItemImage image);
  // Replaces the children of `parent` with `entries`, in their order, in one
  // insertion; the folder counts as listed from then on.
  void setChildren(const QModelIndex& parent, const std::vector<FtpTreeEntry>& entries);
  // Inserts one item at `row` of `parent` (a folder item is unlisted).
  QModelIndex insertItem(const QModelIndex& parent, int row, const QString& label, bool isFolder);
  void removeItem(const QModelIndex& index);
  // Forgets the children: the folder is listed again when next expanded.
  void forgetChildren(const QModelIndex& parent);
  void clear();

  void setLabel(const QModelIndex& index, const QString& label);
  QString label(const QModelIndex& index) const;
  // The name the server knows the item by (its label when it has none).
  std::string remoteName(const QModelIndex& index) const;
  bool isFile(const QModelIndex& index) const;
  bool isRoot(const QModelIndex& index) const {
    return index.isValid() && !index.parent().isValid();
  }
  bool isListed(const QModelIndex& index) const;
  // Labels from the root down, joined by the separator (never doubled).
  QString fullPath(const QModelIndex& index) const;
  // The same path as the server knows it: each item's own bytes (a name
  // that is not UTF-8 stays as the listing gave it).
  std::string serverPath(const QModelIndex& index) const;
  // The item itself when it is a folder, else its parent.
  QModelIndex folderOf(const QModelIndex& index) const;
  // The child of `parent` with this label, if any.
  QModelIndex childByLabel(const QModelIndex& parent, const QString& label) const;

  // A commit of the label editor: announced, not applied; the tree decides.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void labelCommitted(const QModelIndex& index, const QString& text);

 private:
  struct Node;
  Node* node(const QModelIndex& index) const;
  QModelIndex indexOf(const Node* node) const;
  QIcon icon(FtpItemImage image) const;

  QChar separator_;
  std::unique_ptr<Node> root_;
  std::function<bool(const QString&)> probe_;
  mutable std::uint64_t probeCount_ = 0;
  QIcon driveIcon_;
  QIcon folderIcon_;
  QIcon fileIcon_;
};

}  // namespace netrove
