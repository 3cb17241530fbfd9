// The Windows stand-in for the pseudo-terminal pair: Windows has none, so the test's "device" side
// and the serial line meet in an in-process line, and TestCommApi() serves the serial line's comm
// calls from it (read time-outs, rate changes and hang-ups included). It plays a strict driver: it
// refuses a state with unusable flow-control characters, and counts no output queue. TempRegistry's links say
// which COM number reaches which line.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "tests/support/Pty.h"
#include "tests/support/TestTime.h"
#include "tests/support/win32/FakeLines.h"

namespace {

struct FakeLine {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<uint8_t> toDevice;
    std::deque<uint8_t> toHost;
    bool hungUp = false;
    bool open = false;
    DWORD baudRate = 0;
    CommTimeouts timeouts;
    // As some virtual and USB drivers report them: no characters, levels beyond the buffer.
    CommState flow;
};

// The input buffer such a driver has; flow-control levels beyond it are refused.
constexpr WORD kDriverBuffer = 4096;
constexpr WORD kLevelBeyondBuffer = 0x8000;

std::mutex g_linesMutex;
std::map<int, std::shared_ptr<FakeLine>> g_lines;
std::map<int, std::string> g_links;  // COM number -> SlavePath of a line
int g_nextLine = 1;

constexpr const char* kPathPrefix = "fakeline:";

std::shared_ptr<FakeLine> LineById(int id) {
    std::lock_guard<std::mutex> lock(g_linesMutex);
    auto it = g_lines.find(id);
    return it == g_lines.end() ? nullptr : it->second;
}

struct OpenLine {
    std::shared_ptr<FakeLine> line;
};

OpenLine* FromHandle(CommHandle handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ? nullptr : static_cast<OpenLine*>(handle);
}

bool Fail(DWORD code) {
    ::SetLastError(code);
    return false;
}

// ERROR_BAD_COMMAND is what a USB serial driver reports once its device is gone.
constexpr DWORD kGoneError = ERROR_BAD_COMMAND;

class FakeCommApi final : public CommApi {
public:
    CommHandle Open(int portNumber) override {
        std::shared_ptr<FakeLine> line;
        {
            std::lock_guard<std::mutex> lock(g_linesMutex);
            auto link = g_links.find(portNumber);
            if (link != g_links.end() && link->second.rfind(kPathPrefix, 0) == 0) {
                auto it = g_lines.find(std::stoi(link->second.substr(std::string(kPathPrefix).size())));
                if (it != g_lines.end())
                    line = it->second;
            }
        }
        if (!line) {
            Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        std::lock_guard<std::mutex> lock(line->mutex);
        if (line->open) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        line->open = true;
        return new OpenLine{line};
    }
    bool GetState(CommHandle handle, CommState& state) override {
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        std::lock_guard<std::mutex> lock(open->line->mutex);
        const CommState& held = open->line->flow;
        state.BaudRate = open->line->baudRate;
        state.XonChar = held.XonChar;
        state.XoffChar = held.XoffChar;
        state.XonLim = held.XonLim;
        state.XoffLim = held.XoffLim;
        return true;
    }
    bool SetState(CommHandle handle, const CommState& state) override {
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        std::lock_guard<std::mutex> lock(open->line->mutex);
        if (open->line->hungUp)
            return Fail(kGoneError);
        // The whole state is refused, as such a driver does, when the flow-control characters are
        // equal or a level exceeds its buffer, whether flow control is on or not.
        if (state.XonChar == state.XoffChar || state.XonLim > kDriverBuffer || state.XoffLim > kDriverBuffer)
            return Fail(ERROR_INVALID_PARAMETER);
        open->line->baudRate = state.BaudRate;
        open->line->flow = state;
        return true;
    }
    bool SetTimeouts(CommHandle handle, const CommTimeouts& timeouts) override {
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        std::lock_guard<std::mutex> lock(open->line->mutex);
        open->line->timeouts = timeouts;
        return true;
    }
    bool Purge(CommHandle handle, DWORD flags) override {
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        std::lock_guard<std::mutex> lock(open->line->mutex);
        if (flags & PURGE_RXCLEAR)
            open->line->toHost.clear();
        return true;
    }
    bool Read(CommHandle handle, uint8_t* buffer, DWORD size, DWORD& received) override {
        received = 0;
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        FakeLine& line = *open->line;
        std::unique_lock<std::mutex> lock(line.mutex);
        line.changed.wait_for(lock, std::chrono::milliseconds(line.timeouts.ReadTotalTimeoutConstant),
                              [&] { return !line.toHost.empty() || line.hungUp; });
        if (line.toHost.empty() && line.hungUp)
            return Fail(kGoneError);
        while (received < size && !line.toHost.empty()) {
            buffer[received++] = line.toHost.front();
            line.toHost.pop_front();
        }
        return true;
    }
    bool Write(CommHandle handle, const uint8_t* data, DWORD size, DWORD& written) override {
        written = 0;
        OpenLine* open = FromHandle(handle);
        if (!open)
            return Fail(ERROR_INVALID_HANDLE);
        std::lock_guard<std::mutex> lock(open->line->mutex);
        if (open->line->hungUp)
            return Fail(kGoneError);
        open->line->toDevice.insert(open->line->toDevice.end(), data, data + size);
        written = size;
        open->line->changed.notify_all();
        return true;
    }
    bool OutQueue(CommHandle handle, DWORD& count) override {
        if (!FromHandle(handle))
            return Fail(ERROR_INVALID_HANDLE);
        count = 0;  // the fake line hands bytes over at once, and counts no queue, as some drivers
        return true;
    }
    void Close(CommHandle handle) override {
        OpenLine* open = FromHandle(handle);
        if (!open)
            return;
        {
            std::lock_guard<std::mutex> lock(open->line->mutex);
            open->line->open = false;
        }
        delete open;
    }
};

}  // namespace

CommApi& TestCommApi() {
    static FakeCommApi api;
    return api;
}

void LinkFakeLine(int port, const std::string& slavePath) {
    std::lock_guard<std::mutex> lock(g_linesMutex);
    g_links[port] = slavePath;
}

void UnlinkFakeLines() {
    std::lock_guard<std::mutex> lock(g_linesMutex);
    g_links.clear();
}

Pty::Pty() {
    auto line = std::make_shared<FakeLine>();
    line->baudRate = CBR_9600;
    line->flow.XonLim = kLevelBeyondBuffer;
    line->flow.XoffLim = kLevelBeyondBuffer;
    std::lock_guard<std::mutex> lock(g_linesMutex);
    m_master = g_nextLine++;
    g_lines[m_master] = line;
    m_slavePath = kPathPrefix + std::to_string(m_master);
}

Pty::~Pty() {
    HangUp();
    std::lock_guard<std::mutex> lock(g_linesMutex);
    g_lines.erase(std::stoi(m_slavePath.substr(std::string(kPathPrefix).size())));
}

void Pty::Write(const std::vector<uint8_t>& bytes) {
    std::shared_ptr<FakeLine> line = LineById(m_master);
    if (!line)
        throw std::runtime_error("write to a hung-up line");
    std::lock_guard<std::mutex> lock(line->mutex);
    line->toHost.insert(line->toHost.end(), bytes.begin(), bytes.end());
    line->changed.notify_all();
}

std::vector<uint8_t> Pty::Read(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> out;
    std::shared_ptr<FakeLine> line = LineById(m_master);
    if (!line)
        return out;
    std::unique_lock<std::mutex> lock(line->mutex);
    line->changed.wait_for(lock, test_time::Limit(timeout), [&] { return line->toDevice.size() >= count; });
    while (out.size() < count && !line->toDevice.empty()) {
        out.push_back(line->toDevice.front());
        line->toDevice.pop_front();
    }
    return out;
}

std::vector<uint8_t> Pty::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<uint8_t> out;
    std::shared_ptr<FakeLine> line = LineById(m_master);
    if (!line)
        return out;
    std::unique_lock<std::mutex> lock(line->mutex);
    for (;;) {
        const size_t before = line->toDevice.size();
        if (!line->changed.wait_for(lock, test_time::Limit(quiet),
                                    [&] { return line->toDevice.size() != before; }))
            break;
    }
    out.assign(line->toDevice.begin(), line->toDevice.end());
    line->toDevice.clear();
    return out;
}

void Pty::HangUp() {
    std::shared_ptr<FakeLine> line = LineById(m_master);
    if (!line)
        return;
    std::lock_guard<std::mutex> lock(line->mutex);
    line->hungUp = true;
    line->changed.notify_all();
}

DWORD Pty::LineSpeed() const {
    std::shared_ptr<FakeLine> line = LineById(m_master);
    if (!line)
        return 0;
    std::lock_guard<std::mutex> lock(line->mutex);
    return line->baudRate;
}
