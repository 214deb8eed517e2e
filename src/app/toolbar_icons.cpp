#include "app/toolbar_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <functional>

#include "base/command_ids.h"

namespace netrove {
namespace {

// Draws on a 16 x 16 grid; the icon carries it at 16 and 32 pixels.
using Drawing = std::function<void(QPainter&)>;

QIcon DrawnIcon(const Drawing& draw) {
  QIcon icon;
  for (const int side : {16, 32}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 16.0, side / 16.0);
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    draw(painter);
    icon.addPixmap(pixmap);
  }
  return icon;
}

void Sheet(QPainter& painter, const QRectF& rect) {
  painter.setBrush(Qt::white);
  painter.drawRect(rect);
  for (qreal y = rect.top() + 3; y < rect.bottom() - 1; y += 2) {
    painter.drawLine(QPointF(rect.left() + 2, y), QPointF(rect.right() - 2, y));
  }
}

QIcon CutIcon() {
  return DrawnIcon([](QPainter& painter) {
    painter.drawLine(QPointF(5, 1), QPointF(10, 11));
    painter.drawLine(QPointF(11, 1), QPointF(6, 11));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(4.5, 12.5), 2.5, 2.5);
    painter.drawEllipse(QPointF(11.5, 12.5), 2.5, 2.5);
  });
}

QIcon CopyIcon() {
  return DrawnIcon([](QPainter& painter) {
    Sheet(painter, QRectF(1.5, 1.5, 8, 10));
    Sheet(painter, QRectF(6.5, 4.5, 8, 10));
  });
}

QIcon PasteIcon() {
  return DrawnIcon([](QPainter& painter) {
    painter.setBrush(QColor(190, 140, 80));
    painter.drawRect(QRectF(1.5, 2.5, 10, 12));
    painter.setBrush(QColor(160, 160, 160));
    painter.drawRect(QRectF(4.5, 1.5, 4, 2));
    Sheet(painter, QRectF(7.5, 6.5, 7, 8));
  });
}

QIcon PrintIcon() {
  return DrawnIcon([](QPainter& painter) {
    Sheet(painter, QRectF(4.5, 1.5, 7, 5));
    painter.setBrush(QColor(150, 150, 150));
    painter.drawRect(QRectF(1.5, 6.5, 13, 6));
    Sheet(painter, QRectF(4.5, 10.5, 7, 4));
  });
}

}  // namespace

QIcon ToolbarIcon(const QStyle& style, int commandId) {
  const auto themed = [](const char* name, const QIcon& fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name), fallback);
  };
  switch (commandId) {
    case kCmdFileNew:
      return themed("document-new", style.standardIcon(QStyle::SP_FileIcon));
    case kCmdFileOpen:
      return themed("document-open", style.standardIcon(QStyle::SP_DialogOpenButton));
    case kCmdFileSave:
      return themed("document-save", style.standardIcon(QStyle::SP_DialogSaveButton));
    case kCmdEditCut:
      return themed("edit-cut", CutIcon());
    case kCmdEditCopy:
      return themed("edit-copy", CopyIcon());
    case kCmdEditPaste:
      return themed("edit-paste", PasteIcon());
    case kCmdFilePrint:
      return themed("document-print", PrintIcon());
    case kCmdAbout:
      return themed("help-about", style.standardIcon(QStyle::SP_MessageBoxInformation));
    case kCmdContextHelp:
      return themed("help-contextual", style.standardIcon(QStyle::SP_TitleBarContextHelpButton));
    default:
      return {};
  }
}

}  // namespace netrove
