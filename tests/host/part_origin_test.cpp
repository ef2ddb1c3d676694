// part_origin_test.cpp -- what a part's tag says made it, and how two parts' origins are told apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/offline/part_plan.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(PartOrigin, TagsCarryWhatMadeThePartAndJoinTellsThemApart)
{
    testfs::TempFolder folder("gloamer-part-origin");
    const std::string same(3 << 20, 'a');
    std::string late = same, early = same;
    late.back() = 'b';  // past the first MiB: the same fingerprint (size and first MiB)
    early[10] = 'b';    // within it: another
    for (const auto& [name, bytes] : {std::pair{"a.wav", same}, {"late.wav", late}, {"early.wav", early}})
        std::ofstream(folder / name, std::ios::binary) << bytes;
    std::ofstream(folder / "short.wav", std::ios::binary) << same.substr(1);
    const auto origin = [&](const std::string& name, const std::string& options = "--size 96x64",
                            const std::string& version = "1.0") {
        return gloamer::partOrigin(name.empty() ? "" : (folder / name).string(), options, version);
    };
    struct Case {
        std::string what, other, difference;
    } cases[] = {
        {"the same render", origin("a.wav"), ""},
        {"a copy changed past its first MiB", origin("late.wav"), ""},
        {"other music of the same length", origin("early.wav"), "other music"},
        {"other music, one byte shorter", origin("short.wav"), "other music"},
        {"the demo", origin(""), "other music"},
        {"other options", origin("a.wav", "--size 96x64 --calm"), "other options"},
        {"another gloamer", origin("a.wav", "--size 96x64", "1.1"), "another gloamer"},
        {"a part of an older gloamer, with no origin", "", "other music"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gloamer::originDifference(c.other, origin("a.wav")), c.difference) << c.what;

    // The tag keeps the origin, and a tag without one (an older part) still reads.
    gloamer::PartTag tag{gloamer::planPart(100, 20, {1, 2}, 30), 10, 44100, 441000, 0, origin("a.wav")};
    EXPECT_EQ(gloamer::parsePartTag(gloamer::formatPartTag(tag))->origin, tag.origin);
    tag.origin.clear();
    EXPECT_EQ(gloamer::parsePartTag(gloamer::formatPartTag(tag))->origin, "");
    for (const char* tail : {", input x", ", input abc options 12 gloamer", ", other", " input a options b gloamer 1"})
        EXPECT_FALSE(gloamer::parsePartTag(gloamer::formatPartTag(tag) + tail)) << tail;
}

} // namespace
