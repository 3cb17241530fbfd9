// CStatic adds nothing to CWnd but its class information.
#include "framework/CStatic.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
