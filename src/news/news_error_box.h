#pragma once
// The newsreader's error box: plain text (it may carry what a server
// said) under the product's caption.
#include <QString>

class QWidget;

namespace netrove {

void ShowNewsError(QWidget* owner, const QString& text);

}  // namespace netrove
