// host_window.cpp -- a window that is never shown, standing in for the player's main window.
#include "host/core/host_window.h"

#include "host/process/host_error.h"
#include "plugin/state/records.h"

namespace gloamer {

static const char hostWindowClass[] = "gloamer_host";
static HostWindow* activeHostWindow = nullptr; // window procedures are free functions; there is one host window

#ifdef _WIN32
// Windows lets no message-only window own a top-level one: the plug-in's window needs a hidden top-level owner.
static const HWND hostWindowParent = nullptr;
static const DWORD hostWindowStyle = WS_OVERLAPPED;
#else
static const HWND hostWindowParent = HWND_MESSAGE;
static const DWORD hostWindowStyle = 0;
#endif

HostWindow::HostWindow()
{
    if (activeHostWindow)
        throw HostError("internal: a host window exists already");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.lpszClassName = hostWindowClass;
    if (!RegisterClassA(&windowClass))
        throw HostError("cannot register the host window class");
    activeHostWindow = this;
    handle_ = CreateWindowExA(0, hostWindowClass, "gloamer", hostWindowStyle, 0, 0, 0, 0, hostWindowParent, nullptr,
                              nullptr, nullptr);
    if (!handle_) {
        activeHostWindow = nullptr;
        UnregisterClassA(hostWindowClass, nullptr);
        throw HostError("cannot create the host window");
    }
}

HostWindow::~HostWindow()
{
    DestroyWindow(handle_);
    UnregisterClassA(hostWindowClass, nullptr);
    activeHostWindow = nullptr;
}

LRESULT HostWindow::handleUserMessage(WPARAM wParam, LPARAM lParam)
{
    if (lParam == HOSTMSG_VERSION_PROBE)
        return versionAnswer_;
    if (lParam == HOSTMSG_SET_RENDER_WINDOW) {
        renderWindow_ = (HWND)wParam;
        announcements_.push_back(renderWindow_);
        if (renderWindow_ && announcementListener_)
            announcementListener_(renderWindow_);
    }
    return 0;
}

LRESULT CALLBACK HostWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER && activeHostWindow)
        return activeHostWindow->handleUserMessage(wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace gloamer
