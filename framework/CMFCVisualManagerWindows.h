// CMFCVisualManagerWindows: the visual manager that draws in the platform's native style.
#pragma once

#include "framework/CMFCVisualManager.h"

class CMFCVisualManagerWindows : public CMFCVisualManager {
public:
    static inline const CRuntimeClass classCMFCVisualManagerWindows = {"CMFCVisualManagerWindows",
                                                                       RUNTIME_CLASS(CMFCVisualManager)};
    const CRuntimeClass* GetRuntimeClass() const override { return RUNTIME_CLASS(CMFCVisualManagerWindows); }
};
