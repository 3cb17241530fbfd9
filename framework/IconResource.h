// Icon resources as data: an icon is a set of square images of different sizes, registered under a
// resource ID and loaded as an HICON that windows can show.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/WinTypes.h"

struct IconImage {
    int size = 0;                // width and height in pixels
    std::vector<uint32_t> argb;  // size * size pixels, 0xAARRGGBB, not premultiplied, row by row
};

using IconFactory = std::vector<IconImage> (*)();

// Registers the images of icon `id`; they are made by `factory` on first load.
void AfxRegisterIcon(UINT id, IconFactory factory);
// The icon registered under `id`, or null. Handles stay valid for the life of the process.
HICON AfxLoadIcon(UINT id);
// The images behind a handle; empty for null or unknown handles.
const std::vector<IconImage>& AfxGetIconImages(HICON icon);
