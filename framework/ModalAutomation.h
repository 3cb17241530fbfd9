// Lets a program answer its own modal windows. The command-line tool runs the main window's
// commands without a person in front of it, so it answers the port chooser, the file dialog and the
// message boxes itself. Each answer is optional; a window without one is shown as usual.
#pragma once

#include <functional>

#include "framework/CString.h"
#include "framework/WinTypes.h"

class CDialogEx;

struct ModalAnswers {
    // Runs once the dialog's window exists and OnInitDialog has run. It acts on the dialog as a
    // user would; if that ends the dialog (EndDialog), DoModal returns at once with its result.
    std::function<void(CDialogEx& dialog)> dialog;
    // Gives the file an open dialog returns; false means the user cancelled.
    std::function<bool(CString& path)> openFile;
    // Sees the text of a message box, which is then answered with OK.
    std::function<void(const CString& text)> messageBox;
};

// Installs the answers for this process; returns the previous ones.
ModalAnswers AfxSetModalAnswers(ModalAnswers answers);
const ModalAnswers& AfxGetModalAnswers();
