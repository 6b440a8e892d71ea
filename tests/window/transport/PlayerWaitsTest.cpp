// The queue of requests that arrive while the player waits.
#include "window/transport/PlayerWaits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ran = std::vector<std::string>;

} // namespace

TEST(PlayerWaits, RequestsRunInOrderAfterTheOutermostWaitTheLastTransportRequestWinning) {
    TPlayerWaits waits;
    Ran ran;
    const auto note = [&ran](const char* name) { return [&ran, name] { ran.push_back(name); }; };

    EXPECT_FALSE(waits.Waiting());
    EXPECT_FALSE(waits.Defer(note("now"))) << "outside a wait the caller runs it itself";
    EXPECT_EQ(waits.Queued(), 0u);
    {
        TPlayerWaits::Scope outer(waits);
        EXPECT_TRUE(waits.Waiting());
        EXPECT_TRUE(waits.Defer(note("stop"), true));
        EXPECT_TRUE(waits.Defer(note("next")));
        EXPECT_TRUE(waits.Defer(note("play"), true)); // Stop then Play: one restart
        EXPECT_TRUE(waits.Defer(note("last")));
        {
            TPlayerWaits::Scope inner(waits);
            EXPECT_TRUE(waits.Defer(note("pause"), true)); // the user's last word
        }
        EXPECT_TRUE(ran.empty()) << "an inner wait's end runs nothing";
        EXPECT_EQ(waits.Queued(), 3u);
        EXPECT_TRUE(waits.Defer(note("close")));
    }
    EXPECT_EQ(ran, (Ran{"next", "last", "pause", "close"}));
    EXPECT_FALSE(waits.Waiting());
    EXPECT_EQ(waits.Queued(), 0u);
}

// An action that waits itself: what arrives meanwhile waits behind what was queued before it,
// and nothing runs inside its wait.
TEST(PlayerWaits, AnActionThatWaitsItselfQueuesWhatArrivesBehindTheRest) {
    TPlayerWaits waits;
    Ran ran;
    {
        TPlayerWaits::Scope scope(waits);
        waits.Defer([&] {
            ran.push_back("a");
            {
                TPlayerWaits::Scope again(waits);
                EXPECT_TRUE(waits.Defer([&] { ran.push_back("b"); }));
                EXPECT_EQ(ran, Ran{"a"}) << "not inside the wait";
            }
            ran.push_back("a done");
        });
        waits.Defer([&] { ran.push_back("c"); });
    }
    EXPECT_EQ(ran, (Ran{"a", "c", "b", "a done"}));
    EXPECT_EQ(waits.Queued(), 0u);
}
