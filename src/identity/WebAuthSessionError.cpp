#include "identity/WebAuthSessionError.h"

const char *WebAuthSessionError::description(Case errorCase)
{
    switch (errorCase) {
    case Case::canceledLogin:
        return "Sign in was cancelled";
    case Case::presentationFailed:
        return "The browser could not be opened to sign in";
    }
    return "";
}
