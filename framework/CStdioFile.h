// CStdioFile: a CFile read line by line. Lines are GBK text, as the system's configuration files are
// written; each is widened on its own, without its line end ("\n" or "\r\n").
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/CFile.h"

class CStdioFile : public CFile {
public:
    CStdioFile() = default;

    BOOL Open(const wchar_t* fileName, UINT openFlags, CFileException* error = nullptr) override;
    // The next line; FALSE once the file has no more. Throws CFileException* when a read fails.
    BOOL ReadString(CString& line);
    UINT Read(void* buffer, UINT count) override;
    void Close() override;
    void Abort() override;

private:
    // Tops up the buffer; false when the file has nothing more.
    bool Fill();

    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
};
