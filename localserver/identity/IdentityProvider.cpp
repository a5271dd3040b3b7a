#include "identity/IdentityProvider.h"

#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "http/JsonValue.h"
#include "identity/Pkce.h"
#include "identity/ProfileDefaults.h"
#include "identity/SignInPage.h"
#include "storage/Database.h"
#include "support/Calendar.h"
#include "support/Crypto.h"
#include "support/Text.h"

#include <algorithm>
#include <cctype>

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t maxStateLength = 1024;

[[noreturn]] void reject(int status, const char *code, const std::string &message)
{
    throw ApiError(status, code, message);
}

std::string param(const httplib::Request &request, const char *name)
{
    return request.get_param_value(name);
}

bool isEmail(std::string_view email)
{
    const auto at = email.find('@');
    return email.size() <= 254 && at != std::string_view::npos && at > 0 && at + 1 < email.size() &&
           email.find('@', at + 1) == std::string_view::npos &&
           email.find(' ') == std::string_view::npos && !Text::hasControlCharacters(email);
}

std::string urlEncode(const std::string &text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (const auto c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += digits[byte >> 4U];
            encoded += digits[byte & 0x0FU];
        }
    }
    return encoded;
}

Json userJson(const Profile &profile)
{
    return {{"object", "user"},
            {"id", profile.id},
            {"email", profile.email},
            {"email_verified", true},
            {"first_name", profile.firstName},
            {"last_name", profile.lastName ? Json(*profile.lastName) : Json(nullptr)},
            {"profile_picture_url", nullptr},
            {"created_at", profile.createdAt},
            {"updated_at", profile.updatedAt}};
}

} // namespace

IdentityProvider::IdentityProvider(const LocalServerOptions &options_, Database &database_)
    : options(options_)
    , database(database_)
    , codes(options_.clock)
{}

std::string IdentityProvider::userIdFor(const std::string &email)
{
    auto digits = Crypto::hex(Crypto::sha256(Text::lower(Text::trim(email)))).substr(0, 26);
    std::ranges::transform(digits, digits.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    return "user_" + digits;
}

SignInForm IdentityProvider::readAuthorizeItems(const httplib::Request &request) const
{
    SignInForm form;
    form.clientId = param(request, "client_id");
    form.redirectUri = param(request, "redirect_uri");
    form.state = param(request, "state");
    form.codeChallenge = param(request, "code_challenge");
    form.codeChallengeMethod = param(request, "code_challenge_method");
    if (form.clientId != options.clientId)
        reject(400, "invalid_client", "Unknown client_id");
    if (std::ranges::find(options.redirectUris, form.redirectUri) == options.redirectUris.end())
        reject(400, "invalid_redirect_uri", "redirect_uri is not registered for this client");
    if (param(request, "response_type") != "code")
        reject(400, "unsupported_response_type", "response_type must be code");
    if (request.has_param("provider") && param(request, "provider") != "authkit")
        reject(400, "invalid_provider", "provider must be authkit");
    if (form.state.size() > maxStateLength || !Text::isValidUtf8(form.state))
        reject(400, "invalid_request", "state is too long or not UTF-8");
    if (!form.codeChallenge.empty() || !form.codeChallengeMethod.empty()) {
        if (form.codeChallengeMethod != "S256")
            reject(400, "invalid_request", "code_challenge_method must be S256");
        if (!Pkce::isValidChallenge(form.codeChallenge))
            reject(400, "invalid_request", "code_challenge is not a base64url SHA-256 digest");
    }
    return form;
}

void IdentityProvider::showSignInPage(const httplib::Request &request, httplib::Response &response)
{
    auto form = readAuthorizeItems(request);
    form.name = SignInPage::defaultName;
    form.email = SignInPage::defaultEmail;
    response.set_header("Cache-Control", "no-store");
    response.set_header("Content-Security-Policy",
                        "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'");
    response.set_header("X-Frame-Options", "DENY");
    // Other sites never learn the page's address, which carries the sign-in's state; its own form
    // still names its origin, which the server requires ("no-referrer" would make it "null").
    response.set_header("Referrer-Policy", "same-origin");
    response.set_content(SignInPage::render(form), "text/html; charset=utf-8");
}

void IdentityProvider::completeSignIn(const httplib::Request &request, httplib::Response &response)
{
    if (!JsonHttp::hasMediaType(request, "application/x-www-form-urlencoded"))
        reject(415, "unsupported_media_type", "Send the form as application/x-www-form-urlencoded");
    const auto form = readAuthorizeItems(request);
    const auto name = std::string(Text::trim(param(request, "name")));
    const auto email = std::string(Text::trim(param(request, "email")));
    if (name.empty() || name.size() > 100 || !Text::isValidUtf8(name) ||
        Text::hasControlCharacters(name))
        reject(400, "invalid_name", "Enter a name of at most 100 characters");
    if (!isEmail(email) || !Text::isValidUtf8(email))
        reject(400, "invalid_email", "Enter a valid e-mail address");

    const auto space = name.find(' ');
    const auto now = Calendar::timestamp(options.clock());
    Profile profile;
    profile.id = userIdFor(email);
    profile.email = email;
    profile.firstName = name.substr(0, space);
    if (space != std::string::npos)
        profile.lastName = std::string(Text::trim(std::string_view(name).substr(space)));
    profile.aiName = ProfileDefaults::aiName;
    profile.preferences = JsonHttp::serialize(ProfileDefaults::preferences(name));
    profile.createdAt = now;
    profile.updatedAt = now;
    database.saveProfile(profile);

    auto code = codes.issue(AuthorizationGrant{
        form.clientId, form.redirectUri, profile.id,
        form.codeChallenge.empty() ? std::nullopt : std::optional(form.codeChallenge)});
    auto location = form.redirectUri +
                    (form.redirectUri.find('?') == std::string::npos ? "?" : "&") +
                    "code=" + urlEncode(code);
    if (!form.state.empty())
        location += "&state=" + urlEncode(form.state);
    response.status = 302;
    response.set_header("Location", location);
    response.set_header("Cache-Control", "no-store");
    response.set_content("<!DOCTYPE html><p><a href=\"" + SignInPage::escape(location) +
                             "\">Continue to Vessa</a></p>",
                         "text/html; charset=utf-8");
}

void IdentityProvider::authenticate(const httplib::Request &request, httplib::Response &response)
{
    const auto body = JsonHttp::parseObject(request);
    const auto text = [&](const char *key) -> std::optional<std::string> {
        const auto &value = JsonValue::member(body, key);
        if (value.is_null())
            return std::nullopt;
        if (!value.is_string())
            reject(400, "invalid_request", std::string(key) + " must be a string");
        return value.get<std::string>();
    };
    const auto grantType = text("grant_type");
    const auto clientId = text("client_id");
    const auto code = text("code");
    const auto verifier = text("code_verifier");
    // The default build has no client secret and this server keeps none: any value passes,
    // as long as it is text.
    text("client_secret");
    if (grantType != "authorization_code")
        reject(400, "unsupported_grant_type", "grant_type must be authorization_code");
    if (clientId != options.clientId)
        reject(401, "invalid_client", "Unknown client_id");
    if (!code || code->empty())
        reject(400, "invalid_request", "code is required");

    const auto grant = codes.take(*code);
    if (!grant || grant->clientId != *clientId)
        reject(400, "invalid_grant", "The code is invalid, expired or already used");
    if (grant->codeChallenge && (!verifier || !Pkce::matches(*verifier, *grant->codeChallenge)))
        reject(400, "invalid_grant", "The code_verifier does not match the code_challenge");
    const auto profile = database.profile(grant->userId);
    if (!profile)
        reject(400, "invalid_grant", "The user of this code no longer exists");

    JsonHttp::send(response, 200,
                   {{"user", userJson(*profile)},
                    {"organization_id", nullptr},
                    {"access_token", Crypto::randomToken(32)},
                    {"refresh_token", Crypto::randomToken(32)}});
}
