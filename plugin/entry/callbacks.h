// callbacks.h -- the four callbacks the host drives the plug-in through.
#pragma once

#include "platform/win32.h"

struct VisModule;

int __cdecl pluginConfig(VisModule* module);
int __cdecl pluginInit(VisModule* module);
int __cdecl pluginRender(VisModule* module);
int __cdecl pluginQuit(VisModule* module);
