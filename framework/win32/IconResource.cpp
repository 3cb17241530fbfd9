// Icons on Windows: the program's icon group is a real resource of the executable (compiled from
// the .ico the drawing code produced), loaded with LoadImageW. A program without the resource (the
// command-line tool, the tests) gets an icon made from the registered images instead. Either way
// the registered images stay available as data.
#include "framework/IconResource.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

struct IconEntry {
    IconFactory factory = nullptr;
    bool made = false;
    std::vector<IconImage> images;
    HICON handle = nullptr;
};

std::mutex g_iconMutex;
std::map<UINT, IconEntry> g_icons;

// A 32-bit icon with its alpha channel; the mask is ignored for such images.
HICON IconFromImage(const IconImage& image) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof(header);
    header.bV5Width = image.size;
    header.bV5Height = -image.size;  // top-down rows, as the image keeps them
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    const HDC screen = ::GetDC(nullptr);
    const HBITMAP color =
        ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    ::ReleaseDC(nullptr, screen);
    if (color == nullptr)
        return nullptr;
    // 0xAARRGGBB words are B, G, R, A bytes in memory: the layout of the section.
    std::copy(image.argb.begin(), image.argb.end(), static_cast<uint32_t*>(bits));
    const HBITMAP mask = ::CreateBitmap(image.size, image.size, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    const HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(color);
    ::DeleteObject(mask);
    return icon;
}

void Make(IconEntry& entry) {
    if (!entry.made && entry.factory != nullptr)
        entry.images = entry.factory();
    entry.made = true;
}

}  // namespace

void AfxRegisterIcon(UINT id, IconFactory factory) {
    std::lock_guard<std::mutex> lock(g_iconMutex);
    IconEntry& entry = g_icons[id];
    if (entry.factory == factory)
        return;
    entry.factory = factory;
    entry.made = false;
    entry.images.clear();
}

HICON AfxLoadIcon(UINT id) {
    std::lock_guard<std::mutex> lock(g_iconMutex);
    auto it = g_icons.find(id);
    if (it != g_icons.end() && it->second.handle != nullptr)
        return it->second.handle;
    // Shared: the system keeps one copy for the process and frees it at exit.
    auto resource = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    if (resource == nullptr && it == g_icons.end())
        return nullptr;
    IconEntry& entry = g_icons[id];
    Make(entry);
    if (resource == nullptr) {
        // The size the window's caption shows; the system scales it for the task bar.
        for (const IconImage& image : entry.images) {
            if (image.size == 32 && image.argb.size() == 32u * 32u)
                resource = IconFromImage(image);
        }
    }
    entry.handle = resource;
    return resource;
}

const std::vector<IconImage>& AfxGetIconImages(HICON icon) {
    static const std::vector<IconImage> none;
    std::lock_guard<std::mutex> lock(g_iconMutex);
    if (icon == nullptr)
        return none;
    for (auto& [id, entry] : g_icons) {
        if (entry.handle == icon) {
            Make(entry);
            return entry.images;
        }
    }
    return none;
}
