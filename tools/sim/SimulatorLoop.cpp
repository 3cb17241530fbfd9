#include "tools/sim/SimulatorLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/i18n/Messages.h"
#include "tools/sim/SimulatorSummary.h"

namespace {

constexpr size_t kReadChunk = 4096;
// How often the host's end of the line is looked at while its switch to 115200 is awaited.
constexpr int kRateWatchSliceMs = 1;

std::string Failure(const char* call, const std::string& what) {
    return FormatText(Tr("%s failed for %s: %s"), call, what.c_str(), ErrorNumberText(errno));
}

// Writes through a temporary file and a rename, so a reader never sees half a file.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& error) {
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Failure("open", temp);
        return false;
    }
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = Failure("write", temp);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        error = Failure("close", temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = Failure("rename", path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

SimulatorLoop::SimulatorLoop(SimulatorOptions options, PortRegistry registry, LineSink out, LineSink err)
    : m_options(std::move(options)),
      m_registry(std::move(registry)),
      m_out(std::move(out)),
      m_err(std::move(err)),
      m_device(m_options) {
    if (m_options.verbose)
        m_device.SetLog([this](const std::string& line) { m_err(line); });
}

SimulatorLoop::~SimulatorLoop() {
    Shutdown();
}

int SimulatorLoop::Start() {
    std::string error;
    if (!m_pty.Open(error)) {
        m_err("simulate: " + error);
        return 1;
    }
    if (const std::string unsafe = m_registry.Prepare(); !unsafe.empty()) {
        m_err("simulate: " + unsafe);
        return 1;
    }
    int port = 0;
    if (m_options.port != 0) {
        // Not through Register: that would hand back any older link to this device instead of this
        // number.
        bool taken = false;
        if (const std::string why = m_registry.RegisterAt(m_options.port, m_pty.SlavePath(), taken);
            !why.empty()) {
            m_err("simulate: " + why);
            return taken ? 2 : 1;
        }
        port = m_options.port;
    } else {
        port = m_registry.Register(m_pty.SlavePath(), SimulatorOptions::kLowestDefaultPort);
        if (port == 0) {
            m_err(FormatText(Tr("simulate: no free COM number from %d up in %s"),
                             static_cast<int>(SimulatorOptions::kLowestDefaultPort),
                             m_registry.Directory().string().c_str()));
            return 1;
        }
    }
    m_port = port;
    Announce();
    return 0;
}

void SimulatorLoop::Announce() {
    m_out("READY COM" + std::to_string(m_port) + " " + m_pty.SlavePath());
}

bool SimulatorLoop::Replug() {
    std::string error;
    if (!m_pty.Open(error)) {
        m_err("simulate: " + error);
        return false;
    }
    if (const std::string unsafe = m_registry.Problem(); !unsafe.empty()) {
        m_err("simulate: " + unsafe);
        return false;
    }
    // The number stays ours: link the new device under a temporary name and rename it over the
    // old link, so the COM name never points at nothing or at somebody else.
    const auto link = m_registry.Directory() / ("COM" + std::to_string(m_port));
    const auto temp =
        m_registry.Directory() / (".COM" + std::to_string(m_port) + "." + std::to_string(::getpid()));
    ::unlink(temp.c_str());
    if (::symlink(m_pty.SlavePath().c_str(), temp.c_str()) != 0) {
        m_err("simulate: " + Failure("symlink", temp.string()));
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        m_err("simulate: " + Failure("rename", link.string()));
        ::unlink(temp.c_str());
        return false;
    }
    Announce();
    return true;
}

void SimulatorLoop::WriteFiles() {
    std::string error;
    if (!m_options.saveFile.empty()) {
        const std::vector<uint8_t> payload = m_device.Payload();
        if (!WriteFileAtomically(m_options.saveFile, std::string(payload.begin(), payload.end()), error)) {
            m_err("simulate: " + error);
        }
    }
    if (!m_options.summaryFile.empty()) {
        SimReport report = m_device.Report();
        report.badFrames = m_splitter.BadFrames();
        report.skippedBytes = m_splitter.SkippedBytes();
        if (!WriteFileAtomically(m_options.summaryFile, SimulatorSummary::ToJson(report), error)) {
            m_err("simulate: " + error);
        }
    }
}

void SimulatorLoop::TakeFrames(SimClock::time_point now) {
    while (std::optional<SimFrame> frame = m_splitter.Next())
        m_device.OnFrame(*frame, now);
    if (m_options.verbose && m_splitter.BadFrames() != m_badSeen) {
        m_err("rx bad: " + std::to_string(m_splitter.SkippedBytes()) + " bytes skipped so far");
    }
    m_badSeen = m_splitter.BadFrames();
    if (m_device.TransfersCompleted() != m_completedSeen) {
        m_completedSeen = m_device.TransfersCompleted();
        WriteFiles();
    }
}

void SimulatorLoop::HandleReadable(SimClock::time_point now) {
    uint8_t buffer[kReadChunk];
    std::string error;
    const long n = m_pty.Read(buffer, sizeof(buffer), error);
    if (n < 0) {
        // The line broke under us; treat it like an unplugged cable and bring up a fresh one.
        m_err("simulate: " + error);
        m_pty.Close();
        m_splitter.Reset();
        m_device.OnLineReset();
        m_replugAt = now + kReplugDelay;
        return;
    }
    if (n == 0)
        return;
    m_splitter.Feed(buffer, static_cast<size_t>(n), now);
    TakeFrames(now);
    if (m_splitter.HasPartial()) {
        m_idleAt = now + kIdleGap;
    } else {
        m_idleAt.reset();
    }
}

void SimulatorLoop::Perform(const SimOutput& output, SimClock::time_point now) {
    if (output.kind == SimOutput::Kind::HangUp) {
        if (m_options.verbose)
            m_err("hang-up: line unplugged");
        m_pty.Close();
        m_splitter.Reset();
        m_idleAt.reset();
        m_device.OnLineReset();
        m_replugAt = now + kReplugDelay;
        return;
    }
    if (!m_pty.IsOpen())
        return;
    if (m_options.verbose)
        m_err("tx: " + SimHex(output.bytes));
    std::string error;
    if (!m_pty.Write(output.bytes, kWriteTimeout, error))
        m_err("simulate: " + error);
}

int SimulatorLoop::Run(int stopFd) {
    for (;;) {
        SimClock::time_point now = SimClock::now();
        if (m_device.WatchingHostRate() && m_pty.IsOpen())
            m_device.OnHostRate(m_pty.HostRate(), now);
        for (const SimOutput& output : m_device.TakeDue(now))
            Perform(output, now);
        if (m_replugAt && now >= *m_replugAt) {
            m_replugAt.reset();
            if (!Replug()) {
                Shutdown();
                return 1;
            }
        }
        if (m_idleAt && now >= *m_idleAt) {
            m_idleAt.reset();
            m_splitter.OnIdle();
            TakeFrames(now);
            continue;  // the idle flush may have scheduled replies that are due at once
        }

        std::optional<SimClock::time_point> wake = m_device.NextDue();
        for (const auto& deadline : {m_replugAt, m_idleAt}) {
            if (deadline && (!wake || *deadline < *wake))
                wake = deadline;
        }
        int timeoutMs = -1;
        if (wake) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
            timeoutMs = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        if (m_device.WatchingHostRate())
            timeoutMs = timeoutMs < 0 ? kRateWatchSliceMs : std::min(timeoutMs, kRateWatchSliceMs);

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_pty.MasterFd(), POLLIN, 0}};
        const nfds_t count = m_pty.IsOpen() ? 2 : 1;
        const int ready = ::poll(fds, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            m_err("simulate: " + Failure("poll", Tr("the line")));
            Shutdown();
            return 1;
        }
        if (fds[0].revents != 0)
            break;
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            HandleReadable(SimClock::now());
    }
    Shutdown();
    return 0;
}

void SimulatorLoop::Shutdown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_port != 0) {
        WriteFiles();
        m_registry.Unregister(m_port);
    }
    m_pty.Close();
}
