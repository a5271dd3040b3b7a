#include "identity/AuthError.h"

const char *AuthError::description(Case errorCase)
{
    switch (errorCase) {
    case Case::networkError:
        return "Network error occurred";
    case Case::invalidAuthURL:
        return "Invalid authentication URL";
    case Case::invalidCallback:
        return "Invalid callback from authentication";
    case Case::tokenExchangeFailed:
        return "Failed to exchange authentication code";
    case Case::notAuthenticated:
        return "User is not authenticated";
    }
    return "";
}
