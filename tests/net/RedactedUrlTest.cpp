#include "net/RedactedUrl.h"

#include <QString>
#include <QUrl>
#include <gtest/gtest.h>

TEST(RedactedUrl, HidesSecretsAndTheUserAndKeepsTheRest)
{
    const std::pair<const char *, const char *> cases[] = {
        {"vessa-mac://callback?code=01HX&state=s-1&error=denied",
         "vessa-mac://callback?code=[redacted]&state=[redacted]&error=denied"},
        {"http://127.0.0.1:8787/api/v1/prompts?type=text&workos_user_id=user_01",
         "http://127.0.0.1:8787/api/v1/prompts?type=text&workos_user_id=[redacted]"},
        {"https://idp.example/a?client_id=c1&code_challenge=h&STATE=x&c%6Fde=y&code",
         "https://idp.example/a?client_id=c1&code_challenge=h&STATE=[redacted]&code=[redacted]"
         "&code"},
        {"https://ann:pw@host/cb#access_token=t&id_token=u&expires_in=60",
         "https://ann@host/cb#access_token=[redacted]&id_token=[redacted]&expires_in=60"},
    };
    for (const auto &[url, logged] : cases)
        EXPECT_EQ(RedactedUrl::of(QUrl(QString::fromLatin1(url))).toStdString(), logged);
}
