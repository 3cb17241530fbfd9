#include "framework/CStdioFile.h"

#include <algorithm>
#include <cstring>

#include "framework/TextCodec.h"

namespace {
constexpr UINT kChunk = 4096;
}

BOOL CStdioFile::Open(const wchar_t* fileName, UINT openFlags, CFileException* error) {
    m_buffer.clear();
    m_pos = 0;
    return CFile::Open(fileName, openFlags, error);
}

bool CStdioFile::Fill() {
    if (m_pos > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos = 0;
    }
    const size_t old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    UINT got = 0;
    try {
        got = CFile::Read(m_buffer.data() + old, kChunk);
    } catch (...) {
        m_buffer.resize(old);
        throw;
    }
    m_buffer.resize(old + got);
    return got > 0;
}

BOOL CStdioFile::ReadString(CString& line) {
    line.Empty();
    size_t scanned = m_pos;
    for (;;) {
        const auto begin = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_pos);
        const auto from = m_buffer.begin() + static_cast<std::ptrdiff_t>(scanned);
        const auto nl = std::find(from, m_buffer.end(), static_cast<uint8_t>('\n'));
        if (nl != m_buffer.end()) {
            auto end = nl;
            if (end != begin && *(end - 1) == '\r')
                --end;
            line = AnsiToWide(&*begin, static_cast<size_t>(end - begin));
            m_pos = static_cast<size_t>(nl - m_buffer.begin()) + 1;
            return TRUE;
        }
        scanned = m_buffer.size() - m_pos;  // Fill moves the unread bytes to the front
        if (!Fill())
            break;
    }
    if (m_pos >= m_buffer.size())
        return FALSE;
    // A last line without a line end.
    line = AnsiToWide(m_buffer.data() + m_pos, m_buffer.size() - m_pos);
    m_pos = m_buffer.size();
    return TRUE;
}

UINT CStdioFile::Read(void* buffer, UINT count) {
    const size_t buffered = std::min<size_t>(count, m_buffer.size() - m_pos);
    if (buffered > 0) {
        std::memcpy(buffer, m_buffer.data() + m_pos, buffered);
        m_pos += buffered;
    }
    if (buffered == count)
        return count;
    return static_cast<UINT>(buffered) +
           CFile::Read(static_cast<uint8_t*>(buffer) + buffered, count - static_cast<UINT>(buffered));
}

void CStdioFile::Close() {
    m_buffer.clear();
    m_pos = 0;
    CFile::Close();
}

void CStdioFile::Abort() {
    m_buffer.clear();
    m_pos = 0;
    CFile::Abort();
}
