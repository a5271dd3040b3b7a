#pragma once

#include "LocalServerOptions.h"
#include "identity/AuthorizationCodes.h"

#include <httplib.h>
#include <string>

class Database;
struct SignInForm;

// The identity provider's two endpoints. The authorize page asks for a name and an e-mail
// address and sends the browser back to the app with a single-use code; the token endpoint
// trades that code, with the PKCE verifier when the sign-in carried a challenge, for the user
// and tokens.
class IdentityProvider
{
public:
    static constexpr char authorizePath[] = "/user_management/authorize";
    static constexpr char authenticatePath[] = "/user_management/authenticate";

    IdentityProvider(const LocalServerOptions &options, Database &database);

    // GET authorize: the sign-in page.
    void showSignInPage(const httplib::Request &request, httplib::Response &response);
    // POST authorize: the page's form; redirects to the app with "code" and "state".
    void completeSignIn(const httplib::Request &request, httplib::Response &response);
    // POST authenticate: the token exchange.
    void authenticate(const httplib::Request &request, httplib::Response &response);

    // The same e-mail address always names the same user.
    static std::string userIdFor(const std::string &email);

private:
    // The authorize items of a request, checked; throws ApiError 400.
    SignInForm readAuthorizeItems(const httplib::Request &request) const;

    const LocalServerOptions &options;
    Database &database;
    AuthorizationCodes codes;
};
