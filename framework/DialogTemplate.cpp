// The table of registered dialog templates.
#include "framework/DialogTemplate.h"

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
