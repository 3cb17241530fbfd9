#include "tests/support/DiagCapture.h"

#include "framework/TextCodec.h"
#include "tests/support/TestTime.h"

DiagCapture::DiagCapture() {
    m_previous = SetConsoleSink([this](ConsoleStream stream, const std::string& gbk) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back({stream, AnsiToWide(gbk)});
        }
        m_cv.notify_all();
    });
}

DiagCapture::~DiagCapture() {
    SetConsoleSink(std::move(m_previous));
}

std::vector<DiagLine> DiagCapture::Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

bool DiagCapture::Contains(ConsoleStream stream, const CString& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const DiagLine& line : m_lines) {
        if (line.stream == stream && line.text == text)
            return true;
    }
    return false;
}

bool DiagCapture::WaitFor(ConsoleStream stream, const CString& text, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, test_time::Limit(timeout), [&] {
        for (const DiagLine& line : m_lines) {
            if (line.stream == stream && line.text == text)
                return true;
        }
        return false;
    });
}

void DiagCapture::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}
