// Conversion between wide text and the system's "ANSI code page": code page 936 (GBK) on every
// platform, the code page of the Chinese Windows systems that make the image files and devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/CString.h"

// Widens GBK bytes. Conversion stops at the first 0x00 byte; bytes that are not valid GBK become
// U+FFFD, one per byte, so no input can make it fail.
CString AnsiToWide(const uint8_t* bytes, size_t length);
CString AnsiToWide(const std::string& bytes);

// Narrows to GBK. Characters GBK cannot represent become '?'.
std::string WideToAnsi(const CString& text);
