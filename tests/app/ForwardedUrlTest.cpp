#include "app/ForwardedUrl.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>

namespace {

struct LineCase
{
    const char *name;
    QByteArray line;
};

void PrintTo(const LineCase &lineCase, std::ostream *out)
{
    *out << lineCase.name;
}

QByteArray urlOfLength(qsizetype length)
{
    QByteArray url = "vessa-mac://callback?code=";
    url.append(length - url.size(), 'a');
    return url;
}

class AcceptedLine : public testing::TestWithParam<LineCase>
{};

class RejectedLine : public testing::TestWithParam<LineCase>
{};

} // namespace

TEST_P(AcceptedLine, ParsesToTheSameUrl)
{
    const std::optional<QUrl> url = ForwardedUrl::parse(GetParam().line);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->toEncoded(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    ForwardedUrl, AcceptedLine,
    testing::Values(LineCase{"callback", "vessa-mac://callback?code=abc&state=x-Y_z"},
                    LineCase{"percentEncoded", "vessa-mac://callback?code=a%20b%0A"},
                    LineCase{"otherScheme", "https://example.com/path?q=1"},
                    LineCase{"longestLine", urlOfLength(ForwardedUrl::maximumLineLength)}),
    [](const auto &testInfo) { return std::string(testInfo.param.name); });

TEST_P(RejectedLine, IsDropped)
{
    EXPECT_FALSE(ForwardedUrl::parse(GetParam().line).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    ForwardedUrl, RejectedLine,
    testing::Values(LineCase{"empty", ""},
                    LineCase{"overlong", urlOfLength(ForwardedUrl::maximumLineLength + 1)},
                    LineCase{"carriageReturn", "vessa-mac://callback?code=abc\r"},
                    LineCase{"tab", "vessa-mac://callback?code=a\tb"},
                    LineCase{"nul", QByteArray("vessa-mac://callback?code=a\0b", 29)},
                    LineCase{"escape", "vessa-mac://callback?code=\x1b[2J"},
                    LineCase{"delete", "vessa-mac://callback?code=a\x7f"},
                    LineCase{"c1Control", "vessa-mac://callback?code=a\xc2\x85"},
                    LineCase{"invalidByte", "vessa-mac://callback?code=\xff"},
                    LineCase{"truncatedSequence", "vessa-mac://callback?code=\xc3"},
                    LineCase{"overlongEncoding", "vessa-mac://callback?code=\xc0\xaf"},
                    LineCase{"encodedSurrogate", "vessa-mac://callback?code=\xed\xa0\x80"},
                    LineCase{"byteOrderMark", "\xef\xbb\xbfvessa-mac://callback?code=abc"},
                    LineCase{"words", "not a url"}, LineCase{"relative", "callback?code=abc"},
                    LineCase{"badPercent", "vessa-mac://callback?code=%zz"},
                    LineCase{"badHost", "vessa-mac://[::1/callback"}),
    [](const auto &testInfo) { return std::string(testInfo.param.name); });
