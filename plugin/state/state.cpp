// state.cpp -- every process-wide variable of the plug-in, defined with its load value, and the settings defaults.
#include "plugin/state/state.h"
#include "plugin/state/load_values.h"

Settings settings;

#define DEFINE_AT_LOAD(type, name, value) type name = value;
PLUGIN_STATE_AT_LOAD(DEFINE_AT_LOAD)
#undef DEFINE_AT_LOAD

float spinAngle[maxSpriteCount];

void writeDefaultSettings()
{
    settings.textureFilterMode = 1;
    settings.feedbackPulse = 0;
    settings.feedbackDoublePass = 0;
    settings.feedbackZoom = 10.0f;
    settings.glowEnabled = 1;
    settings.tumbleMode = 0;
    settings.spinEnabled = 0;
    settings.spriteCount = 5;
    settings.spriteSize = 10.0f;
    settings.screenHeight = 480;
    settings.screenWidth = 640;
}
