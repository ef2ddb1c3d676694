// host_window.h -- the player's main window as a plug-in sees it: answers the version probe, learns the render window.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace gloamer {

class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return handle_; }
    // The window the plug-in last announced with message 611 (null once withdrawn).
    HWND renderWindow() const { return renderWindow_; }
    // Every wParam of message 611, in order.
    const std::vector<HWND>& announcements() const { return announcements_; }
    // What the version probe (505) answers; nonzero lets a plug-in start.
    void setVersionAnswer(LRESULT answer) { versionAnswer_ = answer; }
    // Called with each window announced with message 611, from the window procedure, while that window stands.
    void setAnnouncementListener(std::function<void(HWND)> listener) { announcementListener_ = std::move(listener); }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleUserMessage(WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
    HWND renderWindow_ = nullptr;
    std::vector<HWND> announcements_;
    std::function<void(HWND)> announcementListener_;
    LRESULT versionAnswer_ = 0x5000;
};

} // namespace gloamer
