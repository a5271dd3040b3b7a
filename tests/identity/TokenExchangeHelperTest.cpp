#include "identity/TokenExchangeHelper.h"

#include <gtest/gtest.h>

TEST(TokenExchangeHelper, BodyCarriesTheCodeTheClientAndTheVerifier)
{
    EXPECT_EQ(TokenExchangeHelper::buildRequestBody("authorization_code", "client_X", "sk_Y",
                                                    "code \"1\"", "verifier")
                  .dump(),
              R"({"grant_type":"authorization_code","client_id":"client_X","client_secret":"sk_Y",)"
              R"("code":"code \"1\"","code_verifier":"verifier"})");
}

TEST(TokenExchangeHelper, EmptySecretIsLeftOut)
{
    const auto body =
        TokenExchangeHelper::buildRequestBody("authorization_code", "c", "", "k", "v");
    EXPECT_FALSE(body.contains("client_secret"));
    EXPECT_EQ(body.size(), 4U);
}
