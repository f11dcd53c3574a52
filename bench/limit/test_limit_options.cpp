#include <gtest/gtest.h>

#include <vector>

#include "limit_options.h"

namespace kelvara {
namespace {

ParsedLimitOptions parse(std::vector<const char*> args) {
    args.insert(args.begin(), "kelvara-limit");
    return parseLimitOptions(static_cast<int>(args.size()), args.data());
}

TEST(LimitOptions, defaultsWithoutArguments) {
    const ParsedLimitOptions p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.seconds, 10.0);
    EXPECT_TRUE(p.options.waitForRetrace);
    EXPECT_TRUE(p.options.statsFile.empty());
    EXPECT_FALSE(p.options.help);
}

TEST(LimitOptions, takesOneOrTwoDashes) {
    const ParsedLimitOptions p = parse({"-seconds", "2.5", "--no-vsync", "-stats", "/tmp/x"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.seconds, 2.5);
    EXPECT_FALSE(p.options.waitForRetrace);
    EXPECT_EQ(p.options.statsFile, "/tmp/x");
}

TEST(LimitOptions, refusesBadSecondsAndStrayWords) {
    for (const char* bad : {"0", "-1", "abc", "1x", "", "nan", "inf", "86401"}) {
        const ParsedLimitOptions p = parse({"--seconds", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_FALSE(p.error.empty()) << bad;
    }
    EXPECT_FALSE(parse({"--seconds"}).ok);
    EXPECT_FALSE(parse({"--stats"}).ok);
    EXPECT_FALSE(parse({"--stats", ""}).ok);
    EXPECT_FALSE(parse({"--frames", "3"}).ok);
    EXPECT_FALSE(parse({"stray"}).ok);
}

} // namespace
} // namespace kelvara
