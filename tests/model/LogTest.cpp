#include "model/Log.h"

#include <QString>
#include <QStringDecoder>
#include <gtest/gtest.h>
#include <string>

// A server's text that reaches a log line whole must not flood the output, and the cut must not
// leave half a character behind.
TEST(Log, AnOverlongLineIsCutAtACharacterAndMarked)
{
    testing::internal::CaptureStdout();
    Log::write(QStringLiteral("[Test] ") + QString(3000, QChar(0xe9)));
    const std::string output = testing::internal::GetCapturedStdout();

    ASSERT_TRUE(output.ends_with("\u2026\n"));
    EXPECT_LE(output.size(), Log::maximumLineLength + 4);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArray::fromStdString(output));
    EXPECT_FALSE(decoder.hasError());
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Test] \u00e9\u00e9")));
}
