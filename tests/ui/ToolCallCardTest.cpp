#include "ui/ToolCallCard.h"

#include <gtest/gtest.h>

namespace {

TEST(ToolCallCard, ShowsAReadableNameSortedInputAndOutputCutAt500Characters)
{
    EXPECT_EQ(ToolCallCard::displayName(QStringLiteral("log_meal")), QStringLiteral("Log Meal"));
    EXPECT_EQ(ToolCallCard::displayName(QStringLiteral("get_USER_info")),
              QStringLiteral("Get User Info"));

    ToolCall::Input input;
    input.emplace("zeta", AnyCodable(std::int64_t{1}));
    input.emplace("alpha", AnyCodable(std::string("\xff")));
    EXPECT_EQ(ToolCallCard::formattedInput(input),
              QStringLiteral("{\n  \"alpha\": \"\uFFFD\",\n  \"zeta\": 1\n}"));

    const QString exactly(500, QLatin1Char('a'));
    EXPECT_EQ(ToolCallCard::outputText(exactly), exactly);
    EXPECT_EQ(ToolCallCard::outputText(exactly + QLatin1Char('b')),
              exactly + QStringLiteral("..."));
    // Characters, not code units: an emoji at the cut stays whole.
    const QString emoji = QString(499, QLatin1Char('a')) + QStringLiteral("\U0001F600\U0001F600");
    EXPECT_EQ(ToolCallCard::outputText(emoji),
              QString(499, QLatin1Char('a')) + QStringLiteral("\U0001F600..."));

    ToolCall bare;
    bare.name = QStringLiteral("ping");
    EXPECT_FALSE(ToolCallCard::present(bare)[QStringLiteral("hasDetails")].toBool());
    bare.result = QString();
    EXPECT_TRUE(ToolCallCard::present(bare)[QStringLiteral("hasDetails")].toBool());
}

} // namespace
