#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

// The names of the symbols that the shared library defines in its dynamic
// symbol table with global or weak binding, i.e. what it exports.
std::set<std::string> exportedSymbols(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::set<std::string> names;
    Elf64_Ehdr header;
    if (image.size() < sizeof(header)) {
        ADD_FAILURE() << "cannot read " << path;
        return names;
    }
    std::memcpy(&header, image.data(), sizeof(header));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 ||
        image.size() < header.e_shoff + header.e_shnum * sizeof(Elf64_Shdr)) {
        ADD_FAILURE() << path << " is not a 64-bit ELF file";
        return names;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), image.data() + header.e_shoff,
                header.e_shnum * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM) {
            continue;
        }
        const char* strings = image.data() + sections.at(section.sh_link).sh_offset;
        const size_t count = section.sh_size / sizeof(Elf64_Sym);
        for (size_t i = 1; i < count; ++i) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + section.sh_offset + i * sizeof(Elf64_Sym),
                        sizeof(symbol));
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK)) {
                names.insert(strings + symbol.st_name);
            }
        }
    }
    return names;
}

TEST(Exports, TheLibraryExportsOnlyTheHostEntryPoints) {
    const std::set<std::string> exported = exportedSymbols(TAVO_LIBRARY_PATH);
    EXPECT_EQ(1u, exported.count("createMediaPlayerInstance"));
    EXPECT_EQ(1u, exported.count("destroyMediaPlayerInstance"));
    for (const std::string& name : exported) {
        if (name != "createMediaPlayerInstance" && name != "destroyMediaPlayerInstance") {
            EXPECT_EQ(0u, name.rfind("tavo", 0)) << "exported by the library: " << name;
        }
    }
}

TEST(Exports, AHostCanDriveAPlayerThroughTheLoadedLibrary) {
    void* library = dlopen(TAVO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    using Create = bool (*)(HostContext*, ITavoMediaPlayer**);
    using Destroy = void (*)(ITavoMediaPlayer**);
    const auto create = reinterpret_cast<Create>(dlsym(library, "createMediaPlayerInstance"));
    const auto destroy = reinterpret_cast<Destroy>(dlsym(library, "destroyMediaPlayerInstance"));
    ASSERT_NE(nullptr, create);
    ASSERT_NE(nullptr, destroy);
    EXPECT_EQ(nullptr, dlsym(library, "_ZN16CTavoMediaPlayer3runEv"));

    ITavoMediaPlayer* player = nullptr;
    ASSERT_TRUE(create(nullptr, &player));
    ASSERT_NE(nullptr, player);
    EXPECT_EQ(PLAYER_E_UNSUPPORTED, player->setParam(0x3010034, nullptr));
    EXPECT_EQ(0, player->run());
    EXPECT_EQ(0, player->stop());
    destroy(&player);
    EXPECT_EQ(0, dlclose(library));
}

TEST(Exports, NullPointersAreRefusedOrIgnored) {
    ITavoMediaPlayer* none = nullptr;
    destroyMediaPlayerInstance(&none);
    destroyMediaPlayerInstance(nullptr);
    EXPECT_EQ(nullptr, none);
    EXPECT_FALSE(createMediaPlayerInstance(nullptr, nullptr));
}

}  // namespace
