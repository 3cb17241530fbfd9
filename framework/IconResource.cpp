// The table of registered icons. A handle points at the table entry, which is never freed, so a
// handle cannot dangle.
#include "framework/IconResource.h"

#include <map>
#include <memory>
#include <mutex>

struct HICON__ {
    IconFactory factory = nullptr;
    bool made = false;
    std::vector<IconImage> images;
};

namespace {

std::mutex g_iconMutex;
std::map<UINT, std::unique_ptr<HICON__>> g_icons;

}  // namespace

void AfxRegisterIcon(UINT id, IconFactory factory) {
    std::lock_guard<std::mutex> lock(g_iconMutex);
    auto& entry = g_icons[id];
    if (entry && entry->factory == factory)
        return;
    if (!entry)
        entry = std::make_unique<HICON__>();
    entry->factory = factory;
    entry->made = false;
    entry->images.clear();
}

HICON AfxLoadIcon(UINT id) {
    std::lock_guard<std::mutex> lock(g_iconMutex);
    auto it = g_icons.find(id);
    if (it == g_icons.end())
        return nullptr;
    HICON__* icon = it->second.get();
    if (!icon->made) {
        if (icon->factory != nullptr)
            icon->images = icon->factory();
        icon->made = true;
    }
    return icon;
}

const std::vector<IconImage>& AfxGetIconImages(HICON icon) {
    static const std::vector<IconImage> none;
    std::lock_guard<std::mutex> lock(g_iconMutex);
    for (const auto& [id, entry] : g_icons) {
        if (entry.get() == icon)
            return entry->made ? entry->images : none;
    }
    return none;
}
