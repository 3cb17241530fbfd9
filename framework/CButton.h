// CButton: push buttons, radio buttons and group boxes. Setting the check state never notifies the
// dialog; only a click does.
#pragma once

#include "framework/CWnd.h"

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)

public:
    // BST_CHECKED or BST_UNCHECKED. Checking a radio button unchecks the others of its group.
    void SetCheck(int check);
    // BST_CHECKED or BST_UNCHECKED; BST_UNCHECKED for buttons that cannot be checked or without a
    // window.
    int GetCheck() const;
};
