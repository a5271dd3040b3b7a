#pragma once

#include <string>

// What the sign-in page carries through its form: the authorize request's items and the user's
// name and e-mail address.
struct SignInForm
{
    std::string clientId;
    std::string redirectUri;
    std::string state;
    std::string codeChallenge;
    std::string codeChallengeMethod;
    std::string name;
    std::string email;
};

// The identity provider's page: a name and e-mail form, filled in with a demo user, whose
// Continue button posts back to the authorize path.
namespace SignInPage {

inline constexpr char title[] = "Sign in to Vessa (local)";
inline constexpr char defaultName[] = "Alex Morgan";
inline constexpr char defaultEmail[] = "alex@example.com";

std::string render(const SignInForm &form);
// Text safe inside HTML elements and quoted attribute values.
std::string escape(const std::string &text);

} // namespace SignInPage
