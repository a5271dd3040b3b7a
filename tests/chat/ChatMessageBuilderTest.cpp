#include "chat/ChatMessageBuilder.h"

#include <gtest/gtest.h>

namespace {

std::string build(const QString &text, const std::optional<QByteArray> &image)
{
    return ChatMessageBuilder::buildMessages(text, image).dump();
}

} // namespace

TEST(ChatMessageBuilder, TextWithoutImageIsAPlainString)
{
    EXPECT_EQ(build(QStringLiteral("Héllo \"you\""), std::nullopt),
              R"([{"role":"user","content":"Héllo \"you\""}])");
}

TEST(ChatMessageBuilder, EmptyTextWithoutImageIsStillAString)
{
    EXPECT_EQ(build(QString(), std::nullopt), R"([{"role":"user","content":""}])");
}

TEST(ChatMessageBuilder, ImageComesFirstAsPaddedBase64Jpeg)
{
    // Standard alphabet ('/', not '_') and one padding character, no line breaks.
    EXPECT_EQ(
        build(QStringLiteral("What is this?"), QByteArray("\xff\xfe\x00\x01\x02", 5)),
        R"([{"role":"user","content":[)"
        R"({"type":"image","source":{"type":"base64","media_type":"image/jpeg","data":"//4AAQI="}},)"
        R"({"type":"text","text":"What is this?"}]}])");
}

TEST(ChatMessageBuilder, ImageWithEmptyTextHasOnlyTheImageBlock)
{
    // A PNG signature: the media type is declared JPEG whatever the bytes are.
    EXPECT_EQ(
        build(QString(), QByteArray("\x89PNG")),
        R"([{"role":"user","content":[)"
        R"({"type":"image","source":{"type":"base64","media_type":"image/jpeg","data":"iVBORw=="}}]}])");
}
