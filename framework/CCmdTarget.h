// CCmdTarget: the root of every class that has a message map (windows and the application object).
// It owns the table search; the window layer decides what reaches it.
#pragma once

#include "framework/CRuntimeClass.h"
#include "framework/MessageMap.h"
#include "framework/WinTypes.h"

class CCmdTarget {
public:
    static inline const CRuntimeClass classCCmdTarget = {"CCmdTarget", nullptr};
    virtual const CRuntimeClass* GetRuntimeClass() const { return RUNTIME_CLASS(CCmdTarget); }

    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Searches this class's table in order, then its base classes' tables, and calls the first entry
    // that matches. WM_COMMAND entries match on notification code and control ID. FALSE when no
    // entry matched.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};
