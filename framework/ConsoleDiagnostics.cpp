#include "framework/ConsoleDiagnostics.h"

#include <cstdio>
#include <mutex>

#include "framework/TextCodec.h"

namespace {

std::mutex g_sinkMutex;
ConsoleSink g_sink;

void WriteDefault(ConsoleStream stream, const std::string& line) {
    FILE* f = stream == ConsoleStream::Output ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

void Emit(ConsoleStream stream, const CString& text) {
    const std::string line = WideToAnsi(text);
    ConsoleSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink)
        sink(stream, line);
    else
        WriteDefault(stream, line);
}

}  // namespace

ConsoleSink SetConsoleSink(ConsoleSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    ConsoleSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

void ConsoleOut(const CString& line) {
    Emit(ConsoleStream::Output, line);
}

void ConsoleErr(const CString& line) {
    Emit(ConsoleStream::Error, line);
}
