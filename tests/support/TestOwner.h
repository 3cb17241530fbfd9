// A window for tests: it queues the messages posted to it, and lets the test wait for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "framework/CWnd.h"

struct PostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class TestOwner : public CWnd {
public:
    BOOL PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Waits until `count` messages have been posted in all, and returns them all. The limit is scaled
    // for the build (tests/support/TestTime.h).
    std::optional<std::vector<PostedMessage>> WaitForCount(
        size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<PostedMessage> Snapshot();
    // Bytes (WPARAM) of every message so far.
    std::vector<uint8_t> Bytes();
    void Clear();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<PostedMessage> m_messages;
};
