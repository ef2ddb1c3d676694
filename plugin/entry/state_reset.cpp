// state_reset.cpp -- puts the plug-in back as the library's load left it, for tests and benchmarks that drive its
// core directly. Built apart from the core, so that the shipped plug-in does not carry it.
#include <stdlib.h>
#include <string.h>

#include "plugin/entry/entry.h"
#include "plugin/image/bitmap_reader.h"
#include "plugin/passes/sprite_queue.h"
#include "plugin/state/load_values.h"
#include "plugin/state/state.h"

// What the variables hold is released first; GL objects are left to their context.
static void releaseHeldMemory()
{
    while (spriteQueue) {
        Sprite* next = spriteQueue->next;
        free(spriteQueue);
        spriteQueue = next;
    }
    free(logoImage);
    closeBitmapFile();
}

void resetPluginState()
{
    releaseHeldMemory();
#define PUT_BACK(type, name, value) name = value;
    PLUGIN_STATE_AT_LOAD(PUT_BACK)
#undef PUT_BACK
    memset(&settings, 0, sizeof(settings));
    memset(spinAngle, 0, sizeof(spinAngle));
    resetModuleRecord();
}
