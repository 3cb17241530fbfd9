#include "tests/support/TestOwner.h"

#include "tests/support/TestTime.h"

BOOL TestOwner::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({message, wParam, lParam});
    }
    m_cv.notify_all();
    return TRUE;
}

std::optional<std::vector<PostedMessage>> TestOwner::WaitForCount(size_t count,
                                                                  std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, test_time::Limit(timeout), [&] { return m_messages.size() >= count; }))
        return std::nullopt;
    return m_messages;
}

std::vector<PostedMessage> TestOwner::Snapshot() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<uint8_t> TestOwner::Bytes() {
    std::vector<uint8_t> bytes;
    for (const PostedMessage& m : Snapshot())
        bytes.push_back(static_cast<uint8_t>(m.wParam));
    return bytes;
}

void TestOwner::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}
