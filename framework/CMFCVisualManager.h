// CMFCVisualManager: selects the visual manager class that draws the framework's own controls. The
// program's controls are drawn by the toolkit's style, so the choice is only remembered.
#pragma once

#include "framework/CRuntimeClass.h"

class CMFCVisualManager {
public:
    static inline const CRuntimeClass classCMFCVisualManager = {"CMFCVisualManager", nullptr};
    virtual ~CMFCVisualManager() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const { return RUNTIME_CLASS(CMFCVisualManager); }

    static void SetDefaultManager(const CRuntimeClass* managerClass) { DefaultManager() = managerClass; }
    static const CRuntimeClass*& DefaultManager() {
        static const CRuntimeClass* manager = nullptr;
        return manager;
    }
};
