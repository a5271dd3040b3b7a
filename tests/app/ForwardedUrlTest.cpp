#include "app/ForwardedUrl.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

QByteArray urlOfLength(qsizetype length)
{
    QByteArray url = "vessa-mac://callback?code=";
    url.append(length - url.size(), 'a');
    return url;
}

} // namespace

TEST(ForwardedUrl, OnlyStrictPrintableUtf8UrlsWithinTheLimitPass)
{
    for (const QByteArray &line : {QByteArray("vessa-mac://callback?code=abc&state=x-Y_z"),
                                   QByteArray("vessa-mac://callback?code=a%20b%0A"),
                                   urlOfLength(ForwardedUrl::maximumLineLength)}) {
        const auto url = ForwardedUrl::parse(line);
        ASSERT_TRUE(url) << line.toStdString();
        EXPECT_EQ(url->toEncoded(), line);
    }
    for (const QByteArray &line :
         {QByteArray(), urlOfLength(ForwardedUrl::maximumLineLength + 1),
          QByteArray("vessa-mac://callback?code=abc\r"),
          QByteArray("vessa-mac://callback?code=a\tb"),
          QByteArray("vessa-mac://callback?code=a\0b", 29),
          QByteArray("vessa-mac://callback?code=\x1b[2J"),
          QByteArray("vessa-mac://callback?code=a\x7f"),
          QByteArray("vessa-mac://callback?code=a\xc2\x85"),
          QByteArray("vessa-mac://callback?code=\xc0\xaf"),
          QByteArray("vessa-mac://callback?code=\xed\xa0\x80"),
          QByteArray("\xef\xbb\xbfvessa-mac://callback?code=abc"), QByteArray("callback?code=abc"),
          QByteArray("vessa-mac://callback?code=%zz"), QByteArray("vessa-mac://[::1/callback")})
        EXPECT_FALSE(ForwardedUrl::parse(line)) << line.toStdString();
}
