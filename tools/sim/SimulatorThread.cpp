#include "tools/sim/SimulatorThread.h"

#include <fcntl.h>
#include <unistd.h>

namespace {
void Drop(const std::string&) {}
}  // namespace

SimulatorThread::SimulatorThread(SimulatorOptions options, SimulatorLoop::LineSink out,
                                 SimulatorLoop::LineSink err) {
    m_loop = std::make_unique<SimulatorLoop>(std::move(options), PortRegistry::Default(), out ? out : Drop,
                                             err ? err : Drop);
    // The loop wakes on this pipe to stop, as the command wakes it on a signal.
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0)
        return;
    if (m_loop->Start() != 0)
        return;
    m_started = true;
    m_thread = std::thread([this] { m_loop->Run(m_stopPipe[0]); });
}

SimulatorThread::~SimulatorThread() {
    Stop();
    for (int fd : m_stopPipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void SimulatorThread::Stop() {
    if (!m_thread.joinable())
        return;
    const char byte = 'q';
    if (::write(m_stopPipe[1], &byte, 1) == 1)
        m_thread.join();
}
