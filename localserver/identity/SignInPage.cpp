#include "identity/SignInPage.h"

namespace {

std::string hiddenField(const char *name, const std::string &value)
{
    if (value.empty())
        return {};
    return std::string("      <input type=\"hidden\" name=\"") + name + "\" value=\"" +
           SignInPage::escape(value) + "\">\n";
}

} // namespace

namespace SignInPage {

std::string escape(const std::string &text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const auto c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string render(const SignInForm &form)
{
    std::string page = R"(<!DOCTYPE html>
<html lang="en">
<head>
  <meta charset="utf-8">
  <meta name="viewport" content="width=device-width, initial-scale=1">
  <title>)";
    page += title;
    page += R"(</title>
  <style>
    body { font-family: system-ui, sans-serif; background: #f4f4f7; color: #1d1d1f; margin: 0; }
    main { max-width: 360px; margin: 12vh auto; background: #fff; padding: 32px;
           border-radius: 16px; box-shadow: 0 8px 24px rgba(0, 0, 0, 0.08); }
    h1 { font-size: 22px; margin: 0 0 8px; }
    p { color: #6e6e73; font-size: 14px; margin: 0 0 24px; }
    label { display: block; font-size: 13px; font-weight: 600; margin: 16px 0 6px; }
    input[type=text], input[type=email] { width: 100%; box-sizing: border-box; padding: 10px;
           font-size: 15px; border: 1px solid #d2d2d7; border-radius: 8px; }
    button { margin-top: 24px; width: 100%; padding: 12px; font-size: 15px; font-weight: 600;
             color: #fff; background: #6c5ce7; border: 0; border-radius: 8px; cursor: pointer; }
  </style>
</head>
<body>
  <main>
    <h1>)";
    page += title;
    page += R"(</h1>
    <p>A local account on this computer. Nothing leaves it.</p>
    <form method="post" action="/user_management/authorize">
)";
    page += hiddenField("client_id", form.clientId);
    page += hiddenField("redirect_uri", form.redirectUri);
    page += hiddenField("response_type", "code");
    page += hiddenField("state", form.state);
    page += hiddenField("code_challenge", form.codeChallenge);
    page += hiddenField("code_challenge_method", form.codeChallengeMethod);
    page += R"(      <label for="name">Name</label>
      <input type="text" id="name" name="name" required maxlength="100" autocomplete="name" value=")";
    page += escape(form.name);
    page += R"(">
      <label for="email">E-mail</label>
      <input type="email" id="email" name="email" required maxlength="254" autocomplete="email" value=")";
    page += escape(form.email);
    page += R"(">
      <button type="submit">Continue</button>
    </form>
  </main>
</body>
</html>
)";
    return page;
}

} // namespace SignInPage
