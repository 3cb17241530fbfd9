// ChildProcessGroup on Windows: CreateProcessW with an anonymous pipe per output stream. Anonymous
// pipes cannot be waited on together, so a thread per stream reads its pipe into one queue that the
// calling thread empties; at the end of both streams the child's process handle is waited for and
// its exit code and CPU time (GetProcessTimes) read.
//
// Every child runs in a job object that kills it when the job's last handle closes: when this
// process ends in any way (killed from the Task Manager, a script's time-out), its children end
// with it and let go of their COM ports. A child inherits exactly its three standard handles (an
// explicit handle list), whatever else another thread makes inheritable meanwhile. It runs without
// a console, so the console's Ctrl+C, Ctrl+Break and closing reach this process alone; InterruptAll
// passes them on through an event named after the child (InterruptEventName), which the child's
// InterruptRequest watches.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/CString.h"
#include "framework/ChildProcessGroup.h"
#include "framework/TextTranslator.h"
#include "framework/win32/InterruptEventName.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Failure(const char* call) {
    return FormatText(TranslateText("%s failed with error %lu"), call,
                      static_cast<unsigned long>(::GetLastError()));
}

// One argument as the C runtime's command-line parser will split it back out: quoted when it holds
// blanks or quotes (or is empty), backslashes doubled where they come before a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            line.append(backslashes * 2 + 1, L'\\');
        else
            line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::chrono::duration<double> Seconds(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return std::chrono::duration<double>(static_cast<double>(ticks) / 1e7);  // 100 ns ticks
}

// What the reader threads hand to the calling thread: a piece of output, or (empty `ended`) the end
// of a stream.
struct Chunk {
    size_t stream = 0;
    bool ended = false;
    std::string bytes;
};

class ChunkQueue {
public:
    void Push(Chunk chunk) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_chunks.push_back(std::move(chunk));
        }
        m_ready.notify_one();
    }
    // False when nothing came within `wait`.
    bool Pop(Chunk& chunk, std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_ready.wait_for(lock, wait, [this] { return !m_chunks.empty(); }))
            return false;
        chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Chunk> m_chunks;
};

struct Stream {
    size_t child = 0;
    bool standardError = false;
    HANDLE read = nullptr;
    std::string pending;
    bool open = true;
};

struct Child {
    HANDLE process = nullptr;
    // Set by InterruptAll; null once the child has been reaped.
    HANDLE interrupt = nullptr;
    Clock::time_point started;
    int openStreams = 0;
};

// A job that kills its processes when its last handle closes, this process's own included.
HANDLE CreateKillOnCloseJob(std::string& error) {
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        error = Failure("CreateJobObjectW");
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        error = Failure("SetInformationJobObject");
        ::CloseHandle(job);
        return nullptr;
    }
    return job;
}

void ReadUntilEnd(HANDLE pipe, size_t stream, ChunkQueue& queue) {
    char buffer[4096];
    DWORD received = 0;
    // ERROR_BROKEN_PIPE is the normal end: every writer has closed its end.
    while (::ReadFile(pipe, buffer, sizeof buffer, &received, nullptr) && received > 0)
        queue.Push({stream, false, std::string(buffer, received)});
    queue.Push({stream, true, {}});
}

// Hands over every whole line of `stream`; a console program's "\r\n" ends a line like "\n".
void HandLines(Stream& stream, bool atEnd, const ChildProcessGroup::LineHandler& onLine) {
    size_t start = 0;
    for (size_t end = stream.pending.find('\n'); end != std::string::npos;
         end = stream.pending.find('\n', start)) {
        size_t length = end - start;
        if (length > 0 && stream.pending[end - 1] == '\r')
            --length;
        onLine(stream.child, stream.standardError, stream.pending.substr(start, length));
        start = end + 1;
    }
    stream.pending.erase(0, start);
    // A last line without its newline is still a line.
    if (atEnd && !stream.pending.empty()) {
        onLine(stream.child, stream.standardError, stream.pending);
        stream.pending.clear();
    }
}

// Starts one child with its standard output and error on fresh pipes; the read ends go to `streams`.
bool Spawn(const std::string& program, const std::vector<std::string>& arguments, size_t index, HANDLE job,
           Child& child, std::vector<Stream>& streams, std::string& error) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    auto closeAll = [&] {
        for (HANDLE handle : {outRead, outWrite, errRead, errWrite}) {
            if (handle)
                ::CloseHandle(handle);
        }
    };
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0) || !::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        error = Failure("CreatePipe");
        closeAll();
        return false;
    }
    // Only the write ends go to the child; a read end it held would keep its own pipe from ending.
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    const std::wstring application = std::wstring(CString::FromUtf8(program).GetString());
    std::wstring commandLine;
    AppendArgument(commandLine, application);
    for (const std::string& argument : arguments)
        AppendArgument(commandLine, std::wstring(CString::FromUtf8(argument).GetString()));

    std::vector<HANDLE> inherited = {outWrite, errWrite};
    if (input != INVALID_HANDLE_VALUE)
        inherited.push_back(input);
    SIZE_T attributesSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &attributesSize);
    std::vector<char> attributesBuffer(attributesSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributesBuffer.data());
    bool started = false;
    PROCESS_INFORMATION process{};
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &attributesSize)) {
        error = Failure("InitializeProcThreadAttributeList");
    } else {
        if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                         inherited.size() * sizeof(HANDLE), nullptr, nullptr)) {
            error = Failure("UpdateProcThreadAttribute");
        } else {
            STARTUPINFOEXW startup{};
            startup.StartupInfo.cb = sizeof startup;
            startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            startup.StartupInfo.hStdInput = input != INVALID_HANDLE_VALUE ? input : nullptr;
            startup.StartupInfo.hStdOutput = outWrite;
            startup.StartupInfo.hStdError = errWrite;
            startup.lpAttributeList = attributes;
            // Suspended until it is in the job and its interrupt event exists.
            const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW;
            started = ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                                       nullptr, nullptr, &startup.StartupInfo, &process) != FALSE;
            if (!started)
                error = Failure("CreateProcessW");
        }
        ::DeleteProcThreadAttributeList(attributes);
    }
    if (started) {
        child.interrupt =
            ::CreateEventW(nullptr, TRUE, FALSE, InterruptEventName(process.dwProcessId).c_str());
        if (child.interrupt == nullptr ||
            (job != nullptr && !::AssignProcessToJobObject(job, process.hProcess))) {
            // A child that could be neither stopped nor tied to this process is not let run.
            error = Failure(child.interrupt == nullptr ? "CreateEventW" : "AssignProcessToJobObject");
            ::TerminateProcess(process.hProcess, 1);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
            if (child.interrupt != nullptr)
                ::CloseHandle(child.interrupt);
            child.interrupt = nullptr;
            started = false;
        } else {
            ::ResumeThread(process.hThread);
        }
    }
    if (input != INVALID_HANDLE_VALUE)
        ::CloseHandle(input);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    outWrite = errWrite = nullptr;
    if (!started) {
        closeAll();
        return false;
    }
    ::CloseHandle(process.hThread);
    child.process = process.hProcess;
    child.started = Clock::now();
    child.openStreams = 2;
    streams.push_back({index, false, outRead, {}, true});
    streams.push_back({index, true, errRead, {}, true});
    return true;
}

void Reap(Child& child, ChildExit& exit) {
    if (!child.process)
        return;
    const DWORD waited = ::WaitForSingleObject(child.process, INFINITE);
    exit.wallTime = Clock::now() - child.started;
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0 || !::GetExitCodeProcess(child.process, &code)) {
        exit.startError = Failure(waited != WAIT_OBJECT_0 ? "WaitForSingleObject" : "GetExitCodeProcess");
    } else {
        exit.exitCode = static_cast<int>(code);
        FILETIME creation{}, exited{}, kernel{}, user{};
        if (::GetProcessTimes(child.process, &creation, &exited, &kernel, &user))
            exit.cpuTime = Seconds(kernel) + Seconds(user);
    }
    ::CloseHandle(child.process);
    child.process = nullptr;
    if (child.interrupt != nullptr)
        ::CloseHandle(child.interrupt);
    child.interrupt = nullptr;
}

}  // namespace

struct ChildProcessGroup::Running {
    std::vector<Child> children;
};

void ChildProcessGroup::InterruptAll() {
    if (!m_running)
        return;
    for (Child& child : m_running->children) {
        if (child.interrupt != nullptr)
            ::SetEvent(child.interrupt);
    }
}

std::vector<ChildExit> ChildProcessGroup::Run(const std::string& program,
                                              const std::vector<std::vector<std::string>>& argumentLists,
                                              const LineHandler& onLine, const Tick& tick) {
    std::vector<ChildExit> exits(argumentLists.size());
    Running running;
    running.children.resize(argumentLists.size());
    std::vector<Child>& children = running.children;
    std::vector<Stream> streams;
    std::string jobError;
    HANDLE job = CreateKillOnCloseJob(jobError);
    for (size_t i = 0; i < argumentLists.size(); ++i) {
        if (job == nullptr)
            exits[i].startError = jobError;
        else
            Spawn(program, argumentLists[i], i, job, children[i], streams, exits[i].startError);
    }
    m_running = &running;

    ChunkQueue queue;
    std::vector<std::thread> readers;
    readers.reserve(streams.size());
    for (size_t i = 0; i < streams.size(); ++i)
        readers.emplace_back(ReadUntilEnd, streams[i].read, i, std::ref(queue));

    for (size_t open = streams.size(); open > 0;) {
        if (tick)
            tick();
        Chunk chunk;
        if (!queue.Pop(chunk, kTickInterval))
            continue;
        Stream& stream = streams[chunk.stream];
        stream.pending += chunk.bytes;
        HandLines(stream, chunk.ended, onLine);
        if (!chunk.ended)
            continue;
        --open;
        // Both streams at their end: the child is exiting, so its own time ends here.
        Child& child = children[stream.child];
        if (--child.openStreams == 0)
            Reap(child, exits[stream.child]);
    }
    m_running = nullptr;
    for (std::thread& reader : readers)
        reader.join();
    for (Stream& stream : streams)
        ::CloseHandle(stream.read);
    // Every child has ended; closing the job ends nothing more.
    if (job != nullptr)
        ::CloseHandle(job);
    return exits;
}
