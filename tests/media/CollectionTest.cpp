// Songs as people have them, made by the encoders on this machine, against the reference
// decoders: every song they decode to half a second or more opens in the player, with its
// true length within half a second.
#include "Collection.h"

#include "MediaFixtures.h"
#include "MediaInfoJson.h"
#include "platform/ProgramDir.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

// The "player" object of mediainfo's line: opened, and the length it will play (-1: closed).
int64_t PlayerLengthMs(const std::string& file) {
    const std::string line = mediainfo::DescribeFile(file);
    std::smatch m;
    static const std::regex player(R"("player": \{"opened": (true|false), "length_ms": (\d+)\})");
    if (!std::regex_search(line, m, player) || m[1] != "true") {
        return -1;
    }
    return std::stoll(m[2]);
}

} // namespace

TEST(Collection, EverySongOpensWithItsTrueLength) {
    if (const std::string missing = collection::MissingEncoder(); !missing.empty()) {
        GTEST_SKIP() << missing << " is not installed (scripts/install-deps.sh installs it)";
    }
    platform::SetProgramDirectory(TAVRO_PROGRAM_DIR);
    fixtures::ScratchDir dir;
    const std::filesystem::path base = std::filesystem::path(dir.PathOf("collection"));
    std::filesystem::create_directories(base);
    int measured = 0;
    int right = 0;
    for (const std::string& name : collection::Names()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(collection::Make(base, name));
        const int64_t reference = collection::ReferenceLengthMs(base / name);
        if (reference < 500) {
            continue;
        }
        ++measured;
        const int64_t length = PlayerLengthMs((base / name).string());
        EXPECT_GE(length, 0) << "not opened";
        EXPECT_NEAR(static_cast<double>(length), static_cast<double>(reference), 500.0);
        right += length >= 0 && std::abs(length - reference) <= 500 ? 1 : 0;
    }
    EXPECT_EQ(right, measured);
    EXPECT_GE(measured, 37);
}
