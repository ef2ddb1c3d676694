// message_box_catcher.cpp -- the CBT hook: a dialog of the message box class is read (caption, text, owner) and ended.
#include "host/win32/message_box_catcher.h"

#include <cstring>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

thread_local MessageBoxCatcher* activeCatcher = nullptr;

std::string windowText(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

// The box's text sits in a static control; the icon's static control has none.
BOOL CALLBACK findText(HWND child, LPARAM found)
{
    char className[32] = {};
    GetClassNameA(child, className, sizeof(className));
    if (_stricmp(className, "Static") == 0) {
        std::string text = windowText(child);
        if (!text.empty()) {
            *reinterpret_cast<std::string*>(found) = text;
            return FALSE;
        }
    }
    return TRUE;
}

} // namespace

MessageBoxCatcher::MessageBoxCatcher(std::function<void(const CaughtMessageBox&)> report) : report_(std::move(report))
{
    if (activeCatcher)
        throw HostError("internal: message boxes are already being caught on this thread");
    hook_ = SetWindowsHookExA(WH_CBT, hookProc, nullptr, GetCurrentThreadId());
    if (!hook_)
        throw HostError("cannot watch for the plug-in's message boxes (SetWindowsHookEx failed)");
    activeCatcher = this;
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    UnhookWindowsHookEx(hook_);
    activeCatcher = nullptr;
}

void MessageBoxCatcher::catchBox(HWND box)
{
    CaughtMessageBox caught;
    caught.owner = GetWindow(box, GW_OWNER);
    caught.caption = windowText(box);
    EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&caught.text));
    caught_.push_back(caught);
    if (report_)
        report_(caught);
    // Ends the box as if OK were pressed; its modal loop then returns before it waits for anyone.
    EndDialog(box, IDOK);
}

LRESULT CALLBACK MessageBoxCatcher::hookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && activeCatcher) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        GetClassNameA(window, className, sizeof(className));
        if (strcmp(className, "#32770") == 0)
            activeCatcher->catchBox(window);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace gloamer
