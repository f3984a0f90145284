#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tavoplayer/ITavoMediaPlayer.h"

namespace {

// The library exports the two host entry points and, besides them, only the
// helpers named tavo* that the test programs use.
TEST(Exports, TheLibraryExportsOnlyTheHostEntryPoints) {
    FILE* symbols = popen("nm -D --defined-only --format=posix " TAVO_LIBRARY_PATH, "r");
    ASSERT_NE(nullptr, symbols);
    int entryPoints = 0;
    char name[512];
    char type = 0;
    while (std::fscanf(symbols, "%511s %c %*[^\n]", name, &type) == 2) {
        const std::string symbol = name;
        if (symbol == "createMediaPlayerInstance" || symbol == "destroyMediaPlayerInstance") {
            ++entryPoints;
        } else {
            EXPECT_EQ(0u, symbol.rfind("tavo", 0)) << "exported by the library: " << symbol;
        }
    }
    EXPECT_EQ(0, pclose(symbols));
    EXPECT_EQ(2, entryPoints);
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
    EXPECT_FALSE(create(nullptr, nullptr));
    ITavoMediaPlayer* player = nullptr;
    ASSERT_TRUE(create(nullptr, &player));
    // Ids it does not know, below, inside and above the known range, are refused
    // untouched; without a picture there is no snapshot, without a store no duration.
    for (int32_t id : {PARAM_WINDOW - 1, 0x3010006, PARAM_SNAPSHOT, 0x3010031, 0x3010034}) {
        EXPECT_EQ(PLAYER_E_UNSUPPORTED, player->setParam(id, nullptr)) << std::hex << id;
    }
    EXPECT_EQ(PLAYER_E_UNSUPPORTED, player->getParam(PARAM_WINDOW, nullptr));
    EXPECT_EQ(PLAYER_E_FAIL, player->getParam(PARAM_SNAPSHOT, const_cast<char*>("x.jpg")));
    EXPECT_FALSE(std::filesystem::exists("x.jpg"));
    uint32_t seconds = 77;
    EXPECT_EQ(0, player->getParam(PARAM_STORE_DURATION, &seconds));
    EXPECT_EQ(77u, seconds);
    EXPECT_EQ(0, player->run());
    EXPECT_EQ(0, player->stop());
    destroy(&player);
    destroy(nullptr);
    ITavoMediaPlayer* none = nullptr;
    destroy(&none);
    EXPECT_EQ(0, dlclose(library));
}

}  // namespace
