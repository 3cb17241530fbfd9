// SerialPort: the one serial line to the device. It opens a COM port by number at 9600 8N1, runs a
// reader thread that posts every received byte to the owner window as WM_SERIAL_BYTE, writes frames
// synchronously for the GUI thread (each write bounded by its time on the wire), and changes the line's rate
// without losing its configuration. Problems are reported as console diagnostics; callers see boolean
// results.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "framework/CWnd.h"
#include "framework/CommApi.h"
#include "framework/WinTypes.h"

// One received byte: WPARAM the byte (0..255), LPARAM the COM number.
constexpr UINT WM_SERIAL_BYTE = WM_USER + 7;
// The line failed and the reader has stopped: WPARAM the system error code, LPARAM the COM number.
constexpr UINT WM_SERIAL_LINE_LOST = WM_USER + 8;

class SerialPort {
public:
    explicit SerialPort(CommApi& api = SystemCommApi());
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    bool Open(CWnd* owner, int port);
    void Close();
    bool IsOpen() const;
    bool Write(const uint8_t* data, uint32_t length);
    bool SetBaudRate(uint32_t baudRate);

private:
    void ReadLoop();
    // Starts ReadLoop on a new thread; false (with a diagnostic) when no thread can be made.
    bool StartReader();
    // Reads the line back: true when the driver holds `wanted`; else false with the last error set.
    bool LineHolds(const CommState& wanted);

    CommApi& m_api;
    CommHandle m_hComm = INVALID_HANDLE_VALUE;
    std::thread m_readThread;
    std::atomic<bool> m_isOpen{false};
    std::atomic<bool> m_readerRunning{false};
    CWnd* m_owner = nullptr;
    int m_portNumber = 0;
    // The rate the line runs at, and when the bytes written so far will have left it at that rate.
    DWORD m_baudRate = 0;
    std::chrono::steady_clock::time_point m_wireFreeAt{};
};
