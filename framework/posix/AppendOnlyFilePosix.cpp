// AppendOnlyFile on POSIX: O_APPEND makes each write land at the end as one piece.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/AppendOnlyFile.h"
#include "framework/TextTranslator.h"

AppendOnlyFile::~AppendOnlyFile() {
    Close();
}

bool AppendOnlyFile::Open(const std::string& path, std::string& error) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        error = FormatText(TranslateText("open failed for %s: %s"), path.c_str(), ErrorNumberText(errno));
        return false;
    }
    m_handle = fd;
    m_path = path;
    return true;
}

bool AppendOnlyFile::AppendLine(const std::string& line, std::string& error) {
    if (!IsOpen()) {
        error = TranslateText("the file is not open");
        return false;
    }
    const std::string text = line + "\n";
    ssize_t written = -1;
    do {
        written = ::write(static_cast<int>(m_handle), text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    // A partial write would leave half a line that the next writer's line would continue.
    if (written == static_cast<ssize_t>(text.size()))
        return true;
    error = FormatText(TranslateText("write failed for %s: %s"), m_path.c_str(),
                       written < 0 ? ErrorNumberText(errno) : TranslateText("short write"));
    return false;
}

void AppendOnlyFile::Close() {
    if (IsOpen())
        ::close(static_cast<int>(m_handle));
    m_handle = kClosed;
}
