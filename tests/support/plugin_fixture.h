// plugin_fixture.h -- every unit test starts from a freshly loaded plug-in over freshly reset fakes.
#pragma once

#include <gtest/gtest.h>

#include "plugin/entry/entry.h"
#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_gl.h"
#include "tests/fakes/fake_heap.h"
#include "tests/fakes/fake_win32.h"

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Module 0 with the host's fields filled in as a player fills them.
    VisModule* module();
    // Nothing of the render window is left: no class, window, device context or GL context, no handle kept.
    static void expectNothingHeld();
    // The GL state every capture and pass hands back: 2-D textures on, the rectangle target, blending, alpha
    // test and culling off, one level of each matrix stack with the modelview current.
    static void expectPassBaseline();
};
