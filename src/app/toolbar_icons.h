#pragma once
// The toolbar's icons: the desktop theme's, or, where the theme has none (no
// theme at all, a minimal desktop), icons of our own, so that no button falls
// back to a plain word.
#include <QIcon>

class QStyle;

namespace netrove {

// The icon of a toolbar command; null for a command without a button.
QIcon ToolbarIcon(const QStyle& style, int commandId);

}  // namespace netrove
