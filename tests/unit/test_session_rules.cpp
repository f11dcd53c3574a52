#include <gtest/gtest.h>

#include "host/session_rules.h"

using namespace kelvara;

TEST(SessionRules, seventhMouseMoveEndsAndLaterOnesRepeat) {
    MouseMoveCounter counter;
    EXPECT_FALSE(countMouseMove(counter, 512, 384)); // where the pointer rests
    for (int i = 1; i <= 6; ++i)
        EXPECT_FALSE(countMouseMove(counter, 512 + i, 384)) << "move " << i;
    EXPECT_TRUE(countMouseMove(counter, 600, 384));
    EXPECT_TRUE(countMouseMove(counter, 601, 384));
}

TEST(SessionRules, mouseMessagesWithoutMovementAreNotMoves) {
    MouseMoveCounter counter;
    // A resting pointer may be reported any number of times (window shown,
    // cursor changed); none of these is a move.
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(countMouseMove(counter, 100, 100));
    for (int i = 1; i <= 6; ++i) {
        EXPECT_FALSE(countMouseMove(counter, 100, 100 + i));
        EXPECT_FALSE(countMouseMove(counter, 100, 100 + i)); // repeated report
    }
    // Moving back to an earlier position is a move all the same.
    EXPECT_TRUE(countMouseMove(counter, 100, 100));
}

TEST(SessionRules, startUpSwitchesOnlyWhereItMayWithAWholeMode) {
    Settings s;
    s.resW = 800;
    s.resH = 600;
    s.resC = 16;
    EXPECT_TRUE(planStartUp(s, true).switchDisplay);
    EXPECT_FALSE(planStartUp(s, false).switchDisplay);
    s.resC = 0;
    EXPECT_FALSE(planStartUp(s, true).switchDisplay);

    EXPECT_TRUE(planStartUp(s, false).capture);
    s.useOGL = 1;
    EXPECT_FALSE(planStartUp(s, true).capture);
}
