// The one way this layer handles a message taken from the queue: the windows it is aimed at (the
// target, then its parents up to the dialog) may claim it in PreTranslateMessage, then the dialog
// manager gets its keyboard handling, then the message is dispatched. The modal loops of the dialog
// manager reach the same PreTranslateMessage step through a message filter hook.
#pragma once

#include "framework/WinTypes.h"

namespace MessagePump {

// TRUE when a window's PreTranslateMessage swallowed the message.
BOOL PreTranslate(MSG& msg);
// Handles one message as the modal loop of a dialog would.
void Handle(MSG& msg);
// Installs, once per thread, the hook through which the dialog manager's own modal loops (modal
// dialogs, message boxes) offer each message to PreTranslate.
void InstallDialogFilter();

}  // namespace MessagePump
