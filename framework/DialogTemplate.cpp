// The table of registered dialog templates.
#include "framework/DialogTemplate.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

std::mutex& TemplateMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<UINT, const DialogTemplate*>& Templates() {
    static std::map<UINT, const DialogTemplate*> templates;
    return templates;
}

}  // namespace

void AfxRegisterDialogTemplate(const DialogTemplate* dialogTemplate) {
    if (dialogTemplate == nullptr)
        return;
    std::lock_guard<std::mutex> lock(TemplateMutex());
    Templates()[dialogTemplate->id] = dialogTemplate;
}

const DialogTemplate* AfxFindDialogTemplate(UINT id) {
    std::lock_guard<std::mutex> lock(TemplateMutex());
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : it->second;
}

WORD FitDialogPointSize(const DialogTemplate& dialogTemplate, const ScreenArea& workArea,
                        const std::function<ScreenArea(WORD pointSize)>& frameSizeAt) {
    const WORD own = dialogTemplate.pointSize;
    if (!(dialogTemplate.style & DS_SETFONT) || own <= kMinimumDialogPointSize || !frameSizeAt)
        return own;
    for (WORD size = own; size > kMinimumDialogPointSize; --size) {
        const ScreenArea frame = frameSizeAt(size);
        if (frame.width <= workArea.width && frame.height <= workArea.height)
            return size;
    }
    return kMinimumDialogPointSize;
}

ScreenArea PlaceInsideWorkArea(const ScreenArea& frame, const ScreenArea& workArea) {
    ScreenArea placed = frame;
    placed.x = std::max(workArea.x, std::min(frame.x, workArea.x + workArea.width - frame.width));
    placed.y = std::max(workArea.y, std::min(frame.y, workArea.y + workArea.height - frame.height));
    return placed;
}
