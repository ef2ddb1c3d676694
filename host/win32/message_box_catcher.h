// message_box_catcher.h -- catches every message box opened on this thread, reports it and closes it, so no run waits on one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace gloamer {

struct CaughtMessageBox {
    HWND owner = nullptr;
    std::string caption;
    std::string text;
};

// A thread-local CBT hook: each message box is read and closed with OK as soon as it is activated.
class MessageBoxCatcher {
public:
    // `report` hears of each box as it is caught.
    explicit MessageBoxCatcher(std::function<void(const CaughtMessageBox&)> report = {});
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    const std::vector<CaughtMessageBox>& caught() const { return caught_; }

private:
    static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam);
    void catchBox(HWND box);

    HHOOK hook_ = nullptr;
    std::function<void(const CaughtMessageBox&)> report_;
    std::vector<CaughtMessageBox> caught_;
};

} // namespace gloamer
