// CProgressCtrl: a progress bar, range 0..100 unless changed. Positions outside the range are
// clamped into it.
#pragma once

#include "framework/CWnd.h"

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)

public:
    void SetRange(short lower, short upper);
    void GetRange(int& lower, int& upper) const;
    // Returns the previous position.
    int SetPos(int pos);
    int GetPos() const;
};
