// ExpandEnvironmentStrings: names without regard to case, unknown references
// kept, and the caller's capacity.
#include "platform/environment.h"

#include "testenv.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class ExpandEnvironmentTest : public IsolatedTest {
protected:
    void SetUp() override
    {
        setenv("VANTREL_X", "/tmp/x", 1);
        setenv("VANTREL_EMPTY", "", 1);
        unsetenv("VANTREL_UNSET");
    }
    void TearDown() override
    {
        unsetenv("VANTREL_X");
        unsetenv("VANTREL_EMPTY");
    }
};

} // namespace

TEST_F(ExpandEnvironmentTest, Cases)
{
    const std::string temp = env_.tmp().string();
    struct Case {
        std::string source, expected;
    };
    const Case cases[] = {
        {"%temp%", temp},
        {"%TEMP%", temp},
        {"%TeMp%\\", temp + "\\"},
        {"%vantrel_x%/a/%VANTREL_X%", "/tmp/x/a//tmp/x"},
        {"%VANTREL_UNSET%", "%VANTREL_UNSET%"},
        {"a%VANTREL_UNSET%b%VANTREL_X%", "a%VANTREL_UNSET%b/tmp/x"},
        {"%VANTREL_EMPTY%end", "end"},
        {"%%", "%%"},
        {"100%", "100%"},
        {"%VANTREL_X", "%VANTREL_X"},
        {"50% and %VANTREL_X%", "50% and %VANTREL_X%"}, // "% and %" is the reference
        {"", ""},
        {"plain", "plain"},
        {"%=%", "%=%"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ExpandEnvironment(c.source), c.expected) << c.source;
        char buffer[512];
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(ExpandEnvironmentStrings(c.source.c_str(), buffer, sizeof buffer), c.expected.size() + 1) << c.source;
        EXPECT_EQ(std::string(buffer), c.expected) << c.source;
    }
}

TEST_F(ExpandEnvironmentTest, CapacityLimitsTheResult)
{
    // "/tmp/x" needs 7 characters with the terminating zero.
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(ExpandEnvironmentStrings("%vantrel_x%", buffer, 7), 7u);
    EXPECT_STREQ(buffer, "/tmp/x");

    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(ExpandEnvironmentStrings("%vantrel_x%", buffer, 6), 7u);
    EXPECT_EQ(buffer[0], '\0');
    for (int i = 1; i < 16; ++i) // nothing beyond the empty text is written
        EXPECT_EQ(buffer[i], 'Z') << i;

    // Size query with no room at all.
    EXPECT_EQ(ExpandEnvironmentStrings("%vantrel_x%", nullptr, 0), 7u);
    buffer[0] = 'Z';
    EXPECT_EQ(ExpandEnvironmentStrings("%vantrel_x%", buffer, 0), 7u);
    EXPECT_EQ(buffer[0], 'Z');
}

TEST_F(ExpandEnvironmentTest, SeesChangesOfTheEnvironment)
{
    setenv("VANTREL_X", "/changed", 1);
    EXPECT_EQ(ExpandEnvironment("%VANTREL_X%"), "/changed");
    unsetenv("VANTREL_X");
    EXPECT_EQ(ExpandEnvironment("%VANTREL_X%"), "%VANTREL_X%");
}
