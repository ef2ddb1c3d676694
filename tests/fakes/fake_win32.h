// fake_win32.h -- a recording stand-in for the Win32 and WGL calls of the plug-in, with switches that make calls fail.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace fake {

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct Win32State {
    std::set<std::string> failing;            // names of calls made to fail while listed
    LRESULT hostAnswer = 1;                   // what SendMessageA to a window not made here (the host) answers
    DWORD tickCount = 0;                      // what GetTickCount returns
    std::string moduleFileName = "D:\\Plugins\\vis_any.dll";
    LRESULT defWindowProcResult = 0x5150;     // what DefWindowProcA returns, so tests can tell it was used
    std::set<std::string> classes;            // registered, by name
    std::map<HWND, WNDPROC> windows;          // live windows and their procedures
    std::set<HDC> deviceContexts;             // held device contexts
    std::set<HGLRC> contexts;                 // live GL contexts
    HGLRC current = nullptr;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<int> quitMessages;            // exit codes given to PostQuitMessage
    int nextHandle = 0x1001;
};

Win32State& win32();
void resetWin32();
// The frame the fake AdjustWindowRectEx adds and CreateWindowExA takes off again, per side.
constexpr int kFrameLeft = 4, kFrameTop = 30, kFrameRight = 4, kFrameBottom = 4;
// Fake handles the tests can pass as the host's window and the library's instance.
inline HWND hostWindowHandle() { return (HWND)(intptr_t)0x777; }
inline HINSTANCE libraryInstanceHandle() { return (HINSTANCE)(intptr_t)0x888; }

} // namespace fake
