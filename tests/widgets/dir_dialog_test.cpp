#include "widgets/dir_dialog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

namespace netrove {
namespace {

// A folder named in the settings but never created yet can still be browsed,
// and the folder picked in the dialog is what the caller gets back.
TEST(DirDialog, CreatesTheStartingFolderAndReturnsTheChoice) {
  QTemporaryDir root;
  const QString missing = root.filePath(QStringLiteral("News/server"));
  const QString other = root.filePath(QStringLiteral("elsewhere"));
  ASSERT_TRUE(QDir().mkpath(other));

  CDirDialog picker(missing);
  EXPECT_TRUE(QDir(missing).exists());
  EXPECT_EQ(picker.dialog()->windowTitle(), QStringLiteral("Select a folder"));

  QTimer::singleShot(0, picker.dialog(), [&] {
    picker.dialog()->selectFile(other);
    QMetaObject::invokeMethod(picker.dialog(), "accept");
  });
  ASSERT_TRUE(picker.DoModal());
  EXPECT_EQ(QDir(picker.folder()).canonicalPath(), QDir(other).canonicalPath());

  CDirDialog cancelled(missing);
  QTimer::singleShot(0, cancelled.dialog(), [&] { cancelled.dialog()->reject(); });
  EXPECT_FALSE(cancelled.DoModal());
  EXPECT_EQ(cancelled.folder(), missing);
}

}  // namespace
}  // namespace netrove
