// Where the keyboard focus goes in a window: Tab walks the controls in
// reading order, the order in which the window's layouts place them (top to
// bottom, each row from the left), whatever order they were built in. When
// the focused control disables or hides itself, the focus goes on to the
// next control that is not a text field, so that the next key pressed does
// not type into a field the user never chose. And the page: the wheel turns
// it over a field or a picker that lacks the focus, and it keeps the focused
// control in sight when its layout moves it.
#pragma once

#include <vector>

class QAbstractScrollArea;
class QKeyEvent;
class QPushButton;
class QScrollArea;
class QWidget;

namespace ovel {

// The controls under `root` that Tab stops at now, in reading order. A
// widget that hands its focus to a child of its own (a tab widget to its
// tab bar) stands for that child.
std::vector<QWidget*> tabStops(QWidget* root);

// Whether typing into `widget` edits text: a line edit, a spin box or date
// field, an editable combo box, a text edit.
bool isTextField(const QWidget* widget);

// Moves the focus to the stop after (or before) the focused widget,
// wrapping around, and scrolls it into view; text fields are passed over
// when the focused widget can no longer hold the focus. For a window's
// focusNextPrevChild. False when there is no stop to go to.
bool moveFocusInReadingOrder(QWidget* root, bool forward);

// Takes the keyboard focus for `root` itself, off every control, as a
// window opens: no control answers Space or Enter until Tab (or a click)
// picks one, and Tab then starts at the first.
void focusNoControl(QWidget* root);

// Lets Enter press `button` too, as Space does; by default only a dialog's
// buttons answer it.
void pressOnEnter(QPushButton* button);

// Page Up and Down, Home and End that no control took, turning `area`'s
// page: its scroll area takes no focus of its own. Whether it did.
bool scrollByPageKey(QAbstractScrollArea* area, const QKeyEvent* event);

// Lets `control` take the wheel only while it has the focus, and never take
// the focus from the wheel; otherwise the wheel scrolls the page around it.
void takeWheelOnlyWithFocus(QWidget* control);

// Keeps the focused control on `area`'s page in view when the page's layout
// moves it (a row added above a button pressed by keyboard): a control the
// user could see whole stays in sight. One scrolled out of view on purpose
// stays out.
void keepFocusInView(QScrollArea* area);

}  // namespace ovel
