// callbacks.cpp -- configure, initialise, render and quit: what the host calls through the module record.
#include "plugin/entry/callbacks.h"

#include <stdlib.h>

#include "plugin/image/logo.h"
#include "plugin/state/records.h"
#include "plugin/state/state.h"
#include "plugin/passes/frame.h"
#include "plugin/passes/sprite_animation.h"
#include "plugin/window/render_window.h"

int __cdecl pluginConfig(VisModule* module)
{
    return MessageBoxA(module->parentWindow, "Gloamer by Tolvard.", "About", MB_OK);
}

int __cdecl pluginInit(VisModule* module)
{
    // A host that initialises again without quitting gets a fresh window, not a second one beside the first.
    if (renderWindow || deviceContext || glContext) {
        SendMessageA(hostModule ? hostModule->parentWindow : module->parentWindow, WM_USER, 0,
                     HOSTMSG_SET_RENDER_WINDOW);
        teardownWindow();
    }
    writeDefaultSettings();
    hostModule = module;
    // A second init in the same load starts drawing afresh: the old capture names died with the old context.
    quitting = 0;
    feedbackTexture = -1;
    glowTexture = -1;

    if (!SendMessageA(module->parentWindow, WM_USER, 0, HOSTMSG_VERSION_PROBE)) {
        MessageBoxA(module->parentWindow, "This plugin requires Winamp 5.0+", "Gloamer", MB_OK);
        return 1;
    }
    if (startRenderWindow(module) != 0)
        return 1;
    if (initLogo() != 0) {
        // The host was given the window, so it hears that the window is gone before it goes.
        SendMessageA(module->parentWindow, WM_USER, 0, HOSTMSG_SET_RENDER_WINDOW);
        teardownWindow();
        return 1;
    }
    return 0;
}

int __cdecl pluginRender(VisModule*)
{
    // Without our own context, the GL calls would land in whatever context the host has current, if any.
    if (quitting || !glContext)
        return 0;
    animateSprites();
    composeFrame();
    SwapBuffers(deviceContext);
    return 0;
}

int __cdecl pluginQuit(VisModule* module)
{
    quitting = 1;
    SendMessageA(module->parentWindow, WM_USER, 0, HOSTMSG_SET_RENDER_WINDOW);
    int result = teardownWindow();
    // Nothing reads the decoded logo once the window is gone; kept, it would leak when the host unloads the library.
    free(logoImage);
    logoImage = nullptr;
    return result;
}
