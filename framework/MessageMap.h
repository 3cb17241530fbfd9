// Message maps: each window class lists, in a static table, which messages and control
// notifications it handles. Dispatch searches a class's table in order, then its base class's.
// Entries hold captureless lambdas converted to plain function pointers, so a table is constant
// data and calling a handler costs one indirect call.
#pragma once

#include "framework/WinTypes.h"

class CCmdTarget;

using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // 0 ends the table
    UINT nCode;     // WM_COMMAND only: notification code
    UINT nID;       // WM_COMMAND only: first control ID
    UINT nLastID;   // WM_COMMAND only: last control ID
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#ifndef afx_msg
#define afx_msg
#endif

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        using ThisClass [[maybe_unused]] = theClass;    \
        using TheBaseClass = baseClass;                 \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, 0, 0, nullptr }                                                                       \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

// Control IDs travel in the low word of WM_COMMAND's WPARAM, so they are compared as 16-bit values
// (the template's "no ID", -1, becomes 0xFFFF on both sides).
#define AFX_CONTROL_ID(id) static_cast<UINT>(static_cast<WORD>(id))

#define ON_CONTROL(code, id, memberFxn)                                           \
    {WM_COMMAND, static_cast<UINT>(code), AFX_CONTROL_ID(id), AFX_CONTROL_ID(id), \
     [](CCmdTarget* wnd, WPARAM, LPARAM) -> LRESULT {                             \
         (static_cast<ThisClass*>(wnd)->*(memberFxn))();                          \
         return 0;                                                                \
     }},

#define ON_COMMAND(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

#define ON_WM_TIMER()                                                           \
    {WM_TIMER, 0, 0, 0, [](CCmdTarget* wnd, WPARAM wParam, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(wnd)->OnTimer(static_cast<UINT_PTR>(wParam));  \
         return 0;                                                              \
     }},

#define ON_MESSAGE(message, memberFxn)                                                                   \
    {static_cast<UINT>(message), 0, 0, 0, [](CCmdTarget* wnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
         return (static_cast<ThisClass*>(wnd)->*(memberFxn))(wParam, lParam);                            \
     }},
