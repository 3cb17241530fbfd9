// Fitting dialogs to the work area of their monitor. The dialog manager takes the dialog's font from
// the template, so the size is chosen before the template is laid down.
#include "framework/win32/WorkAreaFit.h"

#include <iterator>

namespace {

constexpr int kPointsPerInch = 72;
constexpr BYTE kTemplateCharset = ANSI_CHARSET;  // what DialogTemplateBlob writes
const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

ScreenArea ToArea(const RECT& rect) {
    return ScreenArea{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

bool WorkAreaFit::ShownOwner(HWND owner) {
    return owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner);
}

RECT WorkAreaFit::WorkArea(HWND owner) {
    const HMONITOR monitor = ShownOwner(owner) ? ::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                                               : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (monitor == nullptr || !::GetMonitorInfoW(monitor, &info))
        return RECT{};
    return info.rcWork;
}

ScreenArea WorkAreaFit::FrameSize(const DialogTemplate& dialogTemplate, WORD pointSize, HDC screen) {
    // A system-DPI-aware process (the manifest says so) sees the system's DPI here, as the dialog
    // manager does when it sizes the font.
    const int pixels = ::MulDiv(pointSize, ::GetDeviceCaps(screen, LOGPIXELSY), kPointsPerInch);
    const HFONT font = ::CreateFontW(-pixels, 0, 0, 0, dialogTemplate.weight, FALSE, FALSE, FALSE,
                                     kTemplateCharset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     DEFAULT_QUALITY, FF_DONTCARE, dialogTemplate.fontName);
    if (font == nullptr)
        return ScreenArea{};
    const HGDIOBJ previous = ::SelectObject(screen, font);
    TEXTMETRICW metrics{};
    SIZE letters{};
    const bool measured =
        ::GetTextMetricsW(screen, &metrics) &&
        ::GetTextExtentPoint32W(screen, kLetters, static_cast<int>(std::size(kLetters) - 1), &letters);
    ::SelectObject(screen, previous);
    ::DeleteObject(font);
    if (!measured)
        return ScreenArea{};
    const int baseX = (letters.cx / 26 + 1) / 2;
    const int baseY = metrics.tmHeight;
    RECT frame{0, 0, ::MulDiv(dialogTemplate.cx, baseX, 4), ::MulDiv(dialogTemplate.cy, baseY, 8)};
    ::AdjustWindowRectEx(&frame, dialogTemplate.style, FALSE, dialogTemplate.exStyle);
    return ToArea(frame);
}

WORD WorkAreaFit::PointSize(const DialogTemplate& dialogTemplate, const RECT& workArea) {
    if (workArea.right <= workArea.left || workArea.bottom <= workArea.top)
        return dialogTemplate.pointSize;
    const HDC screen = ::GetDC(nullptr);
    if (screen == nullptr)
        return dialogTemplate.pointSize;
    const WORD size = FitDialogPointSize(dialogTemplate, ToArea(workArea), [&](WORD pointSize) {
        return FrameSize(dialogTemplate, pointSize, screen);
    });
    ::ReleaseDC(nullptr, screen);
    return size;
}

void WorkAreaFit::Place(HWND dialog) {
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    const RECT workArea = WorkArea(owner);
    RECT around = workArea;
    if (ShownOwner(owner))
        ::GetWindowRect(owner, &around);
    RECT window{};
    ::GetWindowRect(dialog, &window);
    ScreenArea frame = ToArea(window);
    frame.x = around.left + (around.right - around.left - frame.width) / 2;
    frame.y = around.top + (around.bottom - around.top - frame.height) / 2;
    if (workArea.right > workArea.left && workArea.bottom > workArea.top)
        frame = PlaceInsideWorkArea(frame, ToArea(workArea));
    ::SetWindowPos(dialog, nullptr, frame.x, frame.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
