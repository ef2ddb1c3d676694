// make_seeds.cpp -- writes the bitmap reader's seed corpus: small valid bitmaps and near misses of each check.
#include <cstdio>
#include <string>

#include "tests/support/bitmap_files.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    auto seed = [&](const std::string& name, const testbmp::Bytes& bytes) { testbmp::writeFile(folder / name, bytes); };

    for (int width : {1, 2, 3, 4, 5, 7})
        seed("valid-" + std::to_string(width) + "x3.bmp", testbmp::bitmap(width, 3, testbmp::gradient(width, 3)));
    seed("valid-16x16.bmp", testbmp::bitmap(16, 16, testbmp::gradient(16, 16)));
    seed("no-rows.bmp", testbmp::bitmap(6, 0, {}));

    testbmp::Bytes offset = testbmp::bitmap(3, 2, testbmp::gradient(3, 2));
    offset.insert(offset.begin(), 1, 0x42);
    seed("one-byte-in.bmp", offset);

    testbmp::Bytes truncated = testbmp::bitmap(5, 4, testbmp::gradient(5, 4));
    truncated.resize(truncated.size() - 3);
    seed("truncated.bmp", truncated);

    seed("32-bit.bmp", testbmp::bitmap(3, 3, testbmp::gradient(3, 3), 32));
    testbmp::Bytes palette = testbmp::bitmap(4, 2, testbmp::gradient(4, 2));
    testbmp::put32(palette, testbmp::kClrUsed, 256);
    seed("colour-table.bmp", palette);
    testbmp::Bytes negative = testbmp::bitmap(4, 2, testbmp::gradient(4, 2));
    testbmp::put32(negative, testbmp::kHeight, (uint32_t)-2);
    seed("top-down.bmp", negative);
    return 0;
}
