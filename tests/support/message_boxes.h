// message_boxes.h -- catches the message boxes a plug-in opens, through the platform layer's hook, for tests to read.
#pragma once

#include <string>
#include <vector>

#include "platform/hooks.h"

struct CaughtBox {
    HWND owner;
    std::string text;
    std::string caption;
};

inline std::vector<CaughtBox>& caughtBoxes()
{
    static std::vector<CaughtBox> boxes;
    return boxes;
}

// While it lives, every MessageBoxA is recorded and answered with OK instead of shown.
struct CatchMessageBoxes {
    CatchMessageBoxes()
    {
        caughtBoxes().clear();
        gloamerSetMessageBoxHook(
            [](HWND owner, const char* text, const char* caption, UINT, void*) {
                caughtBoxes().push_back({owner, text ? text : "", caption ? caption : ""});
                return IDOK;
            },
            nullptr);
    }
    ~CatchMessageBoxes() { gloamerSetMessageBoxHook(nullptr, nullptr); }
    CatchMessageBoxes(const CatchMessageBoxes&) = delete;
    CatchMessageBoxes& operator=(const CatchMessageBoxes&) = delete;
};
