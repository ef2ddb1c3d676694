// message_loop.h -- the one Win32 message loop of every host, and the one map from the host's keys to what they do.
#pragma once

#include <functional>

#include "platform/win32.h"

namespace gloamer {

// What a key pressed in the plug-in's window asks of the host (the plug-in's own window procedure ignores keys).
enum class HostKey {
    None,
    Pause,      // space
    Fullscreen, // f
    Help,       // h or F1: the key list
    FrameRate,  // r: the frames-a-second readout
    Quit,       // Esc or q
    Next,             // n: the next track
    Previous,         // p: the previous track (or this one again)
    SeekForward,      // right arrow
    SeekBack,         // left arrow
    SensitivityUp,    // up arrow
    SensitivityDown,  // down arrow
    AutoSensitivity,  // a: automatic sensitivity on or off
};

HostKey hostKeyOf(WPARAM virtualKey);

enum class MessagesEnd {
    Handled,      // every waiting message was handled
    WindowClosed, // the quit message came
    Stopped,      // the key handler asked to stop
};

// Dispatches every waiting message. A key pressed in `keyWindow` reaches `onKey` before the plug-in's own
// handling; `onKey` returns true to stop at once.
MessagesEnd pumpWindowMessages(HWND keyWindow, const std::function<bool(HostKey)>& onKey);

// The same without keys: false once the quit message has arrived.
bool pumpWindowMessages();

} // namespace gloamer
