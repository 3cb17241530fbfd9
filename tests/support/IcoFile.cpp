// Writing and reading .ico files.
#include "tests/support/IcoFile.h"

#include <zlib.h>

#include <cstring>
#include <string>

namespace {

constexpr int kPngSize = 256;  // images this large are stored as PNG
constexpr size_t kDirectoryEntrySize = 16;
constexpr size_t kBitmapHeaderSize = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put32BigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t Get16(const std::vector<uint8_t>& in, size_t at) {
    return at + 2 <= in.size() ? in[at] | in[at + 1] << 8 : 0;
}

uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
    return Get16(in, at) | Get16(in, at + 2) << 16;
}

uint32_t Get32BigEndian(const std::vector<uint8_t>& in, size_t at) {
    if (at + 4 > in.size())
        return 0;
    return static_cast<uint32_t>(in[at]) << 24 | in[at + 1] << 16 | in[at + 2] << 8 | in[at + 3];
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    Put32BigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32BigEndian(
        out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

std::vector<uint8_t> EncodePng(const IconImage& image) {
    std::vector<uint8_t> out(std::begin(kPngSignature), std::end(kPngSignature));
    std::vector<uint8_t> header;
    Put32BigEndian(header, static_cast<uint32_t>(image.size));
    Put32BigEndian(header, static_cast<uint32_t>(image.size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits per channel, RGBA, no interlace
    PutChunk(out, "IHDR", header);
    std::vector<uint8_t> raw;
    for (int y = 0; y < image.size; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < image.size; ++x) {
            const uint32_t argb = image.argb[static_cast<size_t>(y) * image.size + x];
            raw.insert(raw.end(), {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                                   static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)});
        }
    }
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(length);
    compress2(packed.data(), &length, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
    packed.resize(length);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> EncodeBitmap(const IconImage& image) {
    std::vector<uint8_t> out;
    const uint32_t size = static_cast<uint32_t>(image.size);
    const uint32_t maskStride = (size + 31) / 32 * 4;
    Put32(out, kBitmapHeaderSize);
    Put32(out, size);
    Put32(out, size * 2);  // colour and mask stacked
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);  // uncompressed
    Put32(out, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int y = image.size - 1; y >= 0; --y) {  // bottom-up rows
        for (int x = 0; x < image.size; ++x)
            Put32(out, image.argb[static_cast<size_t>(y) * image.size + x]);
    }
    for (int y = image.size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskStride, 0);
        for (int x = 0; x < image.size; ++x) {
            if ((image.argb[static_cast<size_t>(y) * image.size + x] >> 24) == 0)
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool DecodePng(const std::vector<uint8_t>& file, size_t at, size_t length, IconImage& image) {
    if (length < 8 || std::memcmp(file.data() + at, kPngSignature, 8) != 0)
        return false;
    std::vector<uint8_t> packed;
    int size = 0;
    for (size_t pos = at + 8; pos + 12 <= at + length;) {
        const uint32_t chunkLength = Get32BigEndian(file, pos);
        const std::string type(file.begin() + static_cast<long>(pos) + 4,
                               file.begin() + static_cast<long>(pos) + 8);
        if (pos + 12 + chunkLength > at + length)
            return false;
        if (type == "IHDR") {
            size = static_cast<int>(Get32BigEndian(file, pos + 8));
            if (file[pos + 16] != 8 || file[pos + 17] != 6 || file[pos + 20] != 0)
                return false;  // only 8-bit RGBA without interlace
        } else if (type == "IDAT") {
            packed.insert(packed.end(), file.begin() + static_cast<long>(pos) + 8,
                          file.begin() + static_cast<long>(pos + 8 + chunkLength));
        }
        pos += 12 + chunkLength;
    }
    if (size <= 0)
        return false;
    uLongf rawLength = static_cast<uLongf>(size) * (1 + 4 * static_cast<uLongf>(size));
    std::vector<uint8_t> raw(rawLength);
    if (uncompress(raw.data(), &rawLength, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        rawLength != raw.size()) {
        return false;
    }
    image.size = size;
    image.argb.clear();
    for (int y = 0; y < size; ++y) {
        const uint8_t* row = raw.data() + static_cast<size_t>(y) * (1 + 4 * size);
        if (row[0] != 0)
            return false;  // only unfiltered rows
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = row + 1 + 4 * x;
            image.argb.push_back(static_cast<uint32_t>(p[3]) << 24 | p[0] << 16 | p[1] << 8 | p[2]);
        }
    }
    return true;
}

bool DecodeBitmap(const std::vector<uint8_t>& file, size_t at, size_t length, IconImage& image) {
    if (length < kBitmapHeaderSize || Get32(file, at) != kBitmapHeaderSize || Get16(file, at + 14) != 32)
        return false;
    const int size = static_cast<int>(Get32(file, at + 4));
    if (size <= 0 || kBitmapHeaderSize + static_cast<size_t>(size) * size * 4 > length)
        return false;
    image.size = size;
    image.argb.assign(static_cast<size_t>(size) * size, 0);
    size_t pos = at + kBitmapHeaderSize;
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x, pos += 4)
            image.argb[static_cast<size_t>(y) * size + x] = Get32(file, pos);
    }
    return true;
}

}  // namespace

std::vector<uint8_t> EncodeIcoFile(const std::vector<IconImage>& images) {
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, static_cast<uint32_t>(images.size()));
    std::vector<std::vector<uint8_t>> bodies;
    for (const IconImage& image : images)
        bodies.push_back(image.size >= kPngSize ? EncodePng(image) : EncodeBitmap(image));
    uint32_t offset = static_cast<uint32_t>(6 + kDirectoryEntrySize * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].size;
        out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));  // 0 stands for 256
        out.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
        out.push_back(0);  // no palette
        out.push_back(0);
        Put16(out, 1);   // planes
        Put16(out, 32);  // bits per pixel
        Put32(out, static_cast<uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies)
        out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<IconImage> DecodeIcoFile(const std::vector<uint8_t>& file) {
    if (file.size() < 6 || Get16(file, 0) != 0 || Get16(file, 2) != 1)
        return {};
    const size_t count = Get16(file, 4);
    std::vector<IconImage> images;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + i * kDirectoryEntrySize;
        const size_t length = Get32(file, entry + 8);
        const size_t at = Get32(file, entry + 12);
        if (entry + kDirectoryEntrySize > file.size() || at + length > file.size())
            return {};
        IconImage image;
        if (!DecodePng(file, at, length, image) && !DecodeBitmap(file, at, length, image))
            return {};
        images.push_back(std::move(image));
    }
    return images;
}
