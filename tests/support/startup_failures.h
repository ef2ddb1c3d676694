// startup_failures.h -- the render window's numbered start-up failures: the call that fails, the code the user is
// shown, and what is released after the message box.
#pragma once

#include <string>
#include <vector>

struct StartupFailure {
    const char* failingCall;
    const char* code;
    std::vector<std::string> teardown; // the calls after the message box
};

inline const std::vector<StartupFailure>& startupFailures()
{
    static const std::vector<StartupFailure> table = {
        {"RegisterClassA", "ERRORCODE1", {}},
        {"CreateWindowExA", "ERRORCODE2", {"UnregisterClassA"}},
        {"GetDC", "ERRORCODE3", {"DestroyWindow", "UnregisterClassA"}},
        {"ChoosePixelFormat", "ERRORCODE4", {"ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
        {"SetPixelFormat", "ERRORCODE5", {"ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
        {"wglCreateContext", "ERRORCODE6", {"ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
        {"wglMakeCurrent", "ERRORCODE7",
         {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
    };
    return table;
}
