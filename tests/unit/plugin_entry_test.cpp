// plugin_entry_test.cpp -- the export, the records' load values and the configure callback.
#include <cstring>

#include "plugin/entry/callbacks.h"
#include "plugin/entry/entry.h"
#include "tests/support/plugin_fixture.h"

using EntryTest = PluginTest;

TEST_F(EntryTest, HeaderCarriesVersionDescriptionAndModuleGetter)
{
    VisHeader* header = winampVisGetHeader();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->version, 0x101);
    EXPECT_STREQ(header->description, "Gloamer");
    EXPECT_EQ(header, winampVisGetHeader());
    EXPECT_EQ(header->getModule(0), header->getModule(0));
    EXPECT_EQ(header->getModule(1), nullptr);
    EXPECT_EQ(header->getModule(-1), nullptr);
    EXPECT_EQ(header->getModule(0)->description, header->description);
}

TEST_F(EntryTest, ModuleHoldsItsLoadValuesAndCallbacks)
{
    VisModule* module = getModule(0);
    EXPECT_EQ(module->latencyMs, 25);
    EXPECT_EQ(module->delayMs, 25);
    EXPECT_EQ(module->spectrumChannelCount, 2);
    EXPECT_EQ(module->waveformChannelCount, 0);
    EXPECT_EQ(module->userData, nullptr);
    EXPECT_EQ(module->config, &pluginConfig);
    EXPECT_EQ(module->init, &pluginInit);
    EXPECT_EQ(module->render, &pluginRender);
    EXPECT_EQ(module->quit, &pluginQuit);
}

TEST_F(EntryTest, ConfigShowsTheAboutBoxOwnedByTheHostWithoutInit)
{
    VisModule* host = module();
    pluginConfig(host);
    ASSERT_EQ(fake::win32().messageBoxes.size(), 1u);
    const fake::MessageBoxCall& box = fake::win32().messageBoxes[0];
    EXPECT_EQ(box.owner, fake::hostWindowHandle());
    EXPECT_EQ(box.text, "Gloamer by Tolvard.");
    EXPECT_EQ(box.caption, "About");
    EXPECT_EQ(box.type, MB_OK);
    // Nothing else happens: no settings, no window.
    EXPECT_EQ(fake::log().size(), 1u);
}
