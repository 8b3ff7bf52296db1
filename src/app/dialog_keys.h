// Keeps Enter, Escape and Space from acting as dialog commands: they reach the focused control
// and nothing else, so a stray key never closes a window or presses a button.
#pragma once

class QWidget;

namespace app {

// For the main window and the dialogs its buttons open. Buttons lose their default role, and
// Enter and Escape are swallowed before the dialog sees them.
void ignoreDialogKeys(QWidget *window);

} // namespace app
