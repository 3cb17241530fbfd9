// Firmware image files: the header checks, the keyed check value (against zlib's CRC-32) and the
// chip model.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>

#include "tests/update/EngineHarness.h"
#include "update/FirmwareFile.h"

namespace {

std::vector<uint8_t> Image(const std::vector<uint8_t>& payload, const std::string& model,
                           const uint8_t* key = kFirmwareKey) {
    std::vector<uint8_t> image;
    EXPECT_TRUE(BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), model, image, key));
    return image;
}

uint32_t ZlibCrc(const std::vector<uint8_t>& data) {
    return static_cast<uint32_t>(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

TEST(KeyedCrc32, IsZlibsCrcWithEachByteRaisedByItsKeyLetter) {
    const uint8_t noKey[4] = {0, 0, 0, 0};
    const std::vector<uint8_t> check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(KeyedCrc32(check.data(), 9, noKey), 0xCBF43926u);
    EXPECT_EQ(KeyedCrc32(nullptr, 0, noKey), 0u);
    for (uint8_t seed = 0; seed < 40; ++seed) {
        const std::vector<uint8_t> data = Payload(seed * 37u, seed);
        const uint32_t crc = ZlibCrc(data);
        EXPECT_EQ(KeyedCrc32(data.data(), static_cast<uint32_t>(data.size()), noKey), crc);
        uint32_t keyed = 0;  // byte-wise: a byte that overflows does not carry into the next
        for (int i = 0; i < 4; ++i)
            keyed |= static_cast<uint32_t>(static_cast<uint8_t>((crc >> (8 * i)) + "ORVK"[i])) << (8 * i);
        EXPECT_EQ(KeyedCrc32(data.data(), static_cast<uint32_t>(data.size())), keyed)
            << "size " << data.size();
    }
}

struct FileCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    bool loads;
    bool headerValid;
    bool verifies;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

class FirmwareFileCases : public ::testing::TestWithParam<FileCase> {};

TEST_P(FirmwareFileCases, LoadAndVerify) {
    const FileCase& c = GetParam();
    EngineHarness h;
    const std::vector<uint8_t> payload = Payload(101, 9);
    std::vector<uint8_t> image = Image(payload, "CHIP-A");
    c.change(image);
    FirmwareFile file;
    const size_t descriptors = OpenDescriptors();
    EXPECT_EQ(file.Load(EngineHarness::PathText(h.WriteFile("f.trs", image))), c.loads);
    if (!c.loads) {
        EXPECT_EQ(OpenDescriptors(), descriptors);
    }
    EXPECT_EQ(file.IsHeaderValid(), c.headerValid);
    EXPECT_EQ(file.Verify(), c.verifies);
    if (!c.headerValid) {
        EXPECT_TRUE(file.GetChipModel().IsEmpty());
        EXPECT_EQ(file.GetPayload(nullptr), PAYLOAD_INVALID);
    }
    if (!c.verifies)
        return;
    std::vector<uint8_t> copy(image.size() - FIRMWARE_HEADER_SIZE);
    EXPECT_EQ(file.GetPayload(copy.data()), copy.size());
    EXPECT_EQ(copy, std::vector<uint8_t>(image.begin() + FIRMWARE_HEADER_SIZE, image.end()));
    EXPECT_EQ(file.m_fileSize, image.size());
    EXPECT_EQ(file.GetChipModel(), L"CHIP-A");
}

const uint8_t kOtherKey[4] = {'T', 'E', 'S', 'T'};

INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareFileCases,
    ::testing::Values(
        FileCase{"valid", [](auto&) {}, true, true, true},
        FileCase{"only_274_bytes", [](auto& f) { f = Image({}, "CHIP-A"); }, true, true, true},
        FileCase{"only_273_bytes", [](auto& f) { f.resize(273); }, false, false, false},
        FileCase{"magic_without_its_zero", [](auto& f) { f[5] = ' '; }, true, false, false},
        FileCase{"big_endian_header_length", [](auto& f) { f[8] = 0x01, f[9] = 0x12; }, true, false, false},
        FileCase{"one_byte_too_many", [](auto& f) { f.push_back(0); }, true, false, false},
        FileCase{"changed_payload_byte", [](auto& f) { f[274 + 50] ^= 0x80; }, true, true, false},
        FileCase{"changed_check_value", [](auto& f) { f[17] ^= 0x01; }, true, true, false},
        FileCase{"made_with_another_key", [](auto& f) { f = Image(Payload(101, 9), "CHIP-A", kOtherKey); },
                 true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FirmwareFile, ChipModelTextEndsAtItsZeroOrAtTheEndOfTheField) {
    EngineHarness h;
    FirmwareFile file;
    std::vector<uint8_t> image = Image(Payload(5, 1), std::string(255, 'M'));
    image[18 + 255] = 'N';  // the field now has no 0x00 at all
    ASSERT_TRUE(file.Load(EngineHarness::PathText(h.WriteFile("full.trs", image))));
    EXPECT_EQ(file.GetChipModel(), CString(std::wstring(255, L'M') + L"N"));

    ASSERT_TRUE(file.Load(EngineHarness::PathText(h.WriteFile("gbk.trs", Image({1}, "\xD0\xBE\xC6\xAC")))));
    EXPECT_EQ(file.GetChipModel(), L"芯片");
    ASSERT_TRUE(file.Load(EngineHarness::PathText(h.WriteFile("none.trs", Image({1}, "")))));
    EXPECT_TRUE(file.GetChipModel().IsEmpty());

    std::vector<uint8_t> longModel;
    EXPECT_FALSE(BuildFirmwareImage(nullptr, 0, std::string(256, 'M'), longModel));
}

TEST(FirmwareFile, PathsThatAreNoFileDoNotLoad) {
    EngineHarness h;
    std::filesystem::create_directory(h.registry.Root() / "folder.trs");
    FirmwareFile file;
    EXPECT_FALSE(file.Load(EngineHarness::PathText(h.registry.Root() / "folder.trs")));
    EXPECT_FALSE(file.Load(EngineHarness::PathText(h.registry.Root() / "missing.trs")));
    EXPECT_FALSE(file.Load(L""));
    EXPECT_FALSE(file.Verify());
    EXPECT_EQ(file.GetPayload(nullptr), PAYLOAD_INVALID);
}

}  // namespace
