// message_loop.cpp -- dispatches the thread's window messages, looking at the host's keys first.
#include "host/core/message_loop.h"

namespace gloamer {

HostKey hostKeyOf(WPARAM virtualKey)
{
    switch (virtualKey) {
    case VK_SPACE:
        return HostKey::Pause;
    case 'F':
        return HostKey::Fullscreen;
    case 'H':
    case VK_F1:
        return HostKey::Help;
    case 'R':
        return HostKey::FrameRate;
    case VK_ESCAPE:
    case 'Q':
        return HostKey::Quit;
    case 'N':
        return HostKey::Next;
    case 'P':
        return HostKey::Previous;
    case VK_RIGHT:
        return HostKey::SeekForward;
    case VK_LEFT:
        return HostKey::SeekBack;
    case VK_UP:
        return HostKey::SensitivityUp;
    case VK_DOWN:
        return HostKey::SensitivityDown;
    case 'A':
        return HostKey::AutoSensitivity;
    default:
        return HostKey::None;
    }
}

MessagesEnd pumpWindowMessages(HWND keyWindow, const std::function<bool(HostKey)>& onKey)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            return MessagesEnd::WindowClosed;
        if (onKey && message.message == WM_KEYDOWN && message.hwnd && message.hwnd == keyWindow) {
            HostKey key = hostKeyOf(message.wParam);
            if (key != HostKey::None && onKey(key))
                return MessagesEnd::Stopped;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return MessagesEnd::Handled;
}

bool pumpWindowMessages()
{
    return pumpWindowMessages(nullptr, {}) != MessagesEnd::WindowClosed;
}

} // namespace gloamer
