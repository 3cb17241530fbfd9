// Running the window layer without a display: dialogs are created offscreen and driven by code.
#pragma once

#include <chrono>
#include <functional>

// Starts the toolkit on its offscreen platform, runs `body`, and returns its result.
int AfxRunWithoutDisplay(const std::function<int()>& body);

// Lets posted messages and timers run until `done` holds or `timeout` passes; returns done().
bool AfxPumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
