// Icon files (.ico) from icon images and back: 32-bit images, the 256-pixel one as PNG and the
// others as bitmaps with their mask, the layout Windows' resource compiler takes for an icon group.
// Reading understands what writing produces (and any .ico laid out the same way).
#pragma once

#include <cstdint>
#include <vector>

#include "framework/IconResource.h"

std::vector<uint8_t> EncodeIcoFile(const std::vector<IconImage>& images);
// Empty when the data is not such a file.
std::vector<IconImage> DecodeIcoFile(const std::vector<uint8_t>& file);
