// The resources compiled into the two programs, read back from the built files through the calls
// Explorer uses: the version resource (product, version, makers, description, in Chinese and in
// English) and the manifest (common controls 6, no elevation, long paths).
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Program {
    const wchar_t* relativePath;  // from the build folder
    const wchar_t* fileName;
    const wchar_t* descriptionZh;
    const wchar_t* descriptionEn;
};

const Program kPrograms[] = {
    {L"app\\orvane.exe", L"orvane.exe", L"Orvane 串口升级工具", L"Orvane serial update tool"},
    {L"tools\\cli\\orvane-cli.exe", L"orvane-cli.exe", L"Orvane 命令行工具", L"Orvane command-line tool"},
};

// The build folder: this test runs from its tests\ folder.
std::filesystem::path BuildFolder() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return std::filesystem::path(path).parent_path().parent_path();
}

std::wstring Value(const std::vector<BYTE>& info, const std::wstring& block, const wchar_t* name) {
    void* text = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\" + block + L"\\" + name;
    if (!::VerQueryValueW(info.data(), query.c_str(), &text, &length) || length == 0)
        return L"(missing)";
    return static_cast<const wchar_t*>(text);
}

TEST(ExecutableResources, VersionInChineseAndEnglish) {
    for (const Program& program : kPrograms) {
        const std::filesystem::path file = BuildFolder() / program.relativePath;
        SCOPED_TRACE(file.string());
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version resource (GetFileVersionInfoSizeW: " << ::GetLastError() << ")";
        std::vector<BYTE> info(size);
        ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, size, info.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        struct Translation {
            WORD language;
            WORD codePage;
        }* translations = nullptr;
        ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                                     reinterpret_cast<void**>(&translations), &length));
        ASSERT_EQ(length, 2 * sizeof(Translation));
        EXPECT_EQ(translations[0].language, 0x0804);
        EXPECT_EQ(translations[1].language, 0x0409);

        for (const wchar_t* block : {L"080404B0", L"040904B0"}) {
            const bool chinese = std::wstring(block) == L"080404B0";
            EXPECT_EQ(Value(info, block, L"ProductName"), L"Orvane");
            EXPECT_EQ(Value(info, block, L"ProductVersion"), L"1.0");
            EXPECT_EQ(Value(info, block, L"FileVersion"), L"1.0.0.0");
            EXPECT_EQ(Value(info, block, L"CompanyName"),
                      chinese ? L"Orvane 开发组" : L"The Orvane developers");
            EXPECT_EQ(Value(info, block, L"FileDescription"),
                      chinese ? program.descriptionZh : program.descriptionEn);
            EXPECT_EQ(Value(info, block, L"OriginalFilename"), program.fileName);
        }
    }
}

TEST(ExecutableResources, ManifestAsksForCommonControlsNoElevationAndLongPaths) {
    for (const Program& program : kPrograms) {
        const std::filesystem::path file = BuildFolder() / program.relativePath;
        SCOPED_TRACE(file.string());
        const HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr,
                                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "LoadLibraryExW: " << ::GetLastError();
        const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
        ASSERT_NE(resource, nullptr) << "no manifest";
        const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, resource)));
        const std::string manifest(bytes, ::SizeofResource(module, resource));
        ::FreeLibrary(module);
        for (const char* wanted :
             {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
              "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
              "<longPathAware "
              "xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
              "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"}) {
            EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
        }
    }
}

}  // namespace
