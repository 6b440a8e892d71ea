#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <sys/stat.h>

namespace fs = std::filesystem;
using TState = platform::InstanceLock::TState;

// One holder at a time, the next one after it is gone; whatever else stands under the lock's
// name is never followed, waited on or replaced, and runs unguarded.
TEST(InstanceLock, OneHolderAtATimeAndNothingElseUnderItsName) {
    const fs::path root = fs::path(TAVRO_TEST_TMP) / "InstanceLock";
    fs::remove_all(root);
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        TState first;
    } cases[] = {
        {"nothing", [](const fs::path&) {}, TState::Held},
        {"an old lock file", [](const fs::path& f) { std::ofstream(f) << "old"; }, TState::Held},
        {"a pipe", [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
         TState::Unavailable},
        {"a folder", [](const fs::path& f) { fs::create_directories(f); }, TState::Unavailable},
        {"a link out of the directory",
         [&root](const fs::path& f) { fs::create_symlink(root / "outside", f); },
         TState::Unavailable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = root / c.what;
        fs::create_directories(dir);
        c.make(dir / platform::InstanceLock::kFileName);
        {
            platform::InstanceLock first;
            EXPECT_EQ(first.Acquire(dir), c.first);
            platform::InstanceLock second;
            EXPECT_EQ(second.Acquire(dir),
                      c.first == TState::Held ? TState::Taken : TState::Unavailable);
        }
        platform::InstanceLock after;
        EXPECT_EQ(after.Acquire(dir), c.first);
        EXPECT_FALSE(fs::exists(root / "outside"));
    }
    platform::InstanceLock readOnly;
    EXPECT_EQ(readOnly.Acquire(root / "missing folder"), TState::Unavailable);
}
