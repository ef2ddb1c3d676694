// part_origin_test.cpp -- what a part's tag says made it, and how two parts' origins are told apart.
#include <gtest/gtest.h>

#include "host/offline/part_plan.h"

namespace {

TEST(PartOrigin, TagsCarryWhatMadeThePartAndJoinTellsThemApart)
{
    const std::string music(1 << 20, 'a');
    std::string other = music;
    other[10] = 'b';
    const auto origin = [&](const std::string& opening, const std::string& options = "--size 96x64",
                            const std::string& version = "1.0") {
        return gloamer::partOrigin(opening, options, version);
    };
    struct Case {
        std::string what, other, difference;
    } cases[] = {
        {"the same render", origin(music), ""},
        {"other music, one sample apart", origin(other), "other music"},
        {"other music, shorter", origin(music.substr(1)), "other music"},
        {"other options", origin(music, "--size 96x64 --calm"), "other options"},
        {"another gloamer", origin(music, "--size 96x64", "1.1"), "another gloamer"},
        {"a part of an older gloamer, with no origin", "", "other music"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gloamer::originDifference(c.other, origin(music)), c.difference) << c.what;

    // The tag keeps the origin, and a tag without one (an older part) still reads.
    gloamer::PartTag tag{gloamer::planPart(100, 20, {1, 2}, 30), 10, 44100, 441000, 0, origin(music)};
    EXPECT_EQ(gloamer::parsePartTag(gloamer::formatPartTag(tag))->origin, tag.origin);
    tag.origin.clear();
    EXPECT_EQ(gloamer::parsePartTag(gloamer::formatPartTag(tag))->origin, "");
    for (const char* tail : {", input x", ", input abc options 12 gloamer", ", other", " input a options b gloamer 1"})
        EXPECT_FALSE(gloamer::parsePartTag(gloamer::formatPartTag(tag) + tail)) << tail;
}

} // namespace
