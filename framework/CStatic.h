// CStatic: a static text control.
#pragma once

#include "framework/CWnd.h"

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
};
