#pragma once
// Tab order that follows what the user sees: the order of the layouts (a
// grid row by row, left to right; a box in its direction), a group box
// taken whole before the next. Forms are built control by control in
// whatever order the code found convenient, which Qt makes the tab order.
class QWidget;

namespace netrove {

// Chains the keyboard-focusable controls of `form` in layout order.
// Controls outside every layout keep their place after the laid-out ones.
void ApplyLayoutTabOrder(QWidget* form);

}  // namespace netrove
