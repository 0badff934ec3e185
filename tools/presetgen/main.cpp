// tavrelk-presetgen: writes the BCR2000 preset Tavrelk.SYX, or prints its
// BCL script or a Markdown table of the controls.

#include "PresetGen.h"

#include "BuildInfo.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

const char *const kUsage =
    "Usage: tavrelk-presetgen [-o FILE] | --script | --markdown | --version\n"
    "\n"
    "  -o FILE     write the BCR2000 preset to FILE (default Tavrelk.SYX)\n"
    "  --script    print the preset's BCL script, one line per message\n"
    "  --markdown  print a table of what each control does\n"
    "  --version   print the version\n";

int WriteFile(const char *path)
{
    const std::vector<std::uint8_t> bytes = presetgen::PresetFile();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "tavrelk-presetgen: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 1)
        return WriteFile("Tavrelk.SYX");
    if (argc == 3 && std::strcmp(argv[1], "-o") == 0)
        return WriteFile(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "--script") == 0) {
        for (const std::string &line : presetgen::PresetScript())
            std::cout << line << '\n';
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tavrelk-presetgen %s\n", TAVRELK_VERSION_TEXT);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--markdown") == 0) {
        std::cout << presetgen::MarkdownTable();
        return 0;
    }
    const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
}
