// entry.h -- the plug-in's own export and module getter, which only the plug-in and its tests call by name.
#pragma once

#include "plugin/state/records.h"

extern "C" PLUGIN_EXPORT VisHeader* __cdecl winampVisGetHeader(void);
VisModule* __cdecl getModule(int index);
// Module 0 back to its values at library load, host fields included.
void resetModuleRecord();
