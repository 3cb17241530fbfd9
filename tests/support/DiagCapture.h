// Captures the console diagnostics for a test: every line, decoded from GBK, with its stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/ConsoleDiagnostics.h"

struct DiagLine {
    ConsoleStream stream;
    CString text;
};

class DiagCapture {
public:
    DiagCapture();
    ~DiagCapture();
    DiagCapture(const DiagCapture&) = delete;
    DiagCapture& operator=(const DiagCapture&) = delete;

    std::vector<DiagLine> Lines();
    bool Contains(ConsoleStream stream, const CString& text);
    // Waits until a line equal to `text` has been written to `stream`; the limit is scaled for the
    // build (tests/support/TestTime.h).
    bool WaitFor(ConsoleStream stream, const CString& text,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Clear();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<DiagLine> m_lines;
    ConsoleSink m_previous;
};
