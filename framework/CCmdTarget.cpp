// Message-map search.
#include "framework/CCmdTarget.h"

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

BOOL CCmdTarget::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
            if (entry->nMessage != message)
                continue;
            if (message == WM_COMMAND) {
                const UINT code = HIWORD(wParam);
                const UINT id = LOWORD(wParam);
                if (entry->nCode != code || id < entry->nID || id > entry->nLastID)
                    continue;
            }
            *result = entry->pfn(this, wParam, lParam);
            return TRUE;
        }
    }
    return FALSE;
}
