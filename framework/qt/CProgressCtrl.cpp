// CProgressCtrl over QProgressBar.
#include "framework/CProgressCtrl.h"

#include <QProgressBar>
#include <algorithm>

#include "framework/qt/WindowRegistry.h"

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

namespace {

QProgressBar* Bar(WindowRecord* record) {
    return record != nullptr && record->kind == WindowKind::Progress
               ? static_cast<QProgressBar*>(record->widget)
               : nullptr;
}

}  // namespace

void CProgressCtrl::SetRange(short lower, short upper) {
    QProgressBar* bar = Bar(WindowRegistry::Find(GetSafeHwnd()));
    if (bar == nullptr)
        return;
    const int position = bar->value();
    bar->setRange(lower, std::max(lower, upper));
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    lower = upper = 0;
    QProgressBar* bar = Bar(WindowRegistry::Find(GetSafeHwnd()));
    if (bar == nullptr)
        return;
    lower = bar->minimum();
    upper = bar->maximum();
}

int CProgressCtrl::SetPos(int pos) {
    QProgressBar* bar = Bar(WindowRegistry::Find(GetSafeHwnd()));
    if (bar == nullptr)
        return 0;
    const int previous = bar->value();
    // QProgressBar ignores values outside its range; Windows clamps them into it.
    bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
    return previous;
}

int CProgressCtrl::GetPos() const {
    QProgressBar* bar = Bar(WindowRegistry::Find(GetSafeHwnd()));
    return bar == nullptr ? 0 : bar->value();
}
