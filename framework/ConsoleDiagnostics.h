// The serial layer's console diagnostics: whole lines of GBK text on the standard streams, each
// flushed. All of them pass through one sink, so that a host program (the command-line tool, a
// test) can send them elsewhere.
#pragma once

#include <functional>
#include <string>

#include "framework/CString.h"

enum class ConsoleStream { Output, Error };

// Receives one line, already narrowed to GBK, without its newline.
using ConsoleSink = std::function<void(ConsoleStream, const std::string& gbkLine)>;

// Replaces the sink; an empty one restores the default (stdout / stderr, flushed per line).
// Returns the previous sink.
ConsoleSink SetConsoleSink(ConsoleSink sink);

void ConsoleOut(const CString& line);
void ConsoleErr(const CString& line);

// Whether the stream is an interactive terminal (a console window on Windows), where progress may be
// redrawn in place; false for pipes and files.
bool IsTerminal(ConsoleStream stream);
// The width of the terminal behind the stream in columns; 0 when it is none or will not say.
int TerminalColumns(ConsoleStream stream);
