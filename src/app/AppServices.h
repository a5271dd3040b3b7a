#pragma once

#include "identity/AuthService.h"
#include "identity/KeychainService.h"
#include "mcp/MCPService.h"
#include "model/SharedInstance.h"

#include <QNetworkAccessManager>
#include <QSettings>

// The services of the running application: made once by main, after the application object and
// before any window, and owned here for the application's whole life. Each is made after what it
// depends on and so destroyed before it, and all of them before the application object. The
// services' shared() accessors, and through them the screens, reach these instances.
class AppServices
{
public:
    // Names the application for the desktop and for its per-user settings, which then live in
    // "~/.config/Kolvane/Vessa.conf". The organization matches the reverse-DNS name of the store's
    // folder ("com.kolvane.vessa-mac"). Called by main before anything reads settings.
    static void describeApplication();
    // How the windows are drawn, chosen before the application object exists: the software scene
    // graph, unless QT_QUICK_BACKEND says otherwise.
    static void chooseRendering();

    AppServices();
    AppServices(const AppServices &) = delete;
    AppServices &operator=(const AppServices &) = delete;

    KeychainService &store() { return m_store; }
    AuthService &auth() { return m_auth; }
    MCPService &mcp() { return m_mcp; }

private:
    QNetworkAccessManager network;
    SharedInstance<QNetworkAccessManager> sharedNetwork{network};
    QSettings settings;
    SharedInstance<QSettings> sharedSettings{settings};
    KeychainService m_store;
    SharedInstance<KeychainService> sharedStore{m_store};
    AuthService m_auth{m_store};
    SharedInstance<AuthService> sharedAuth{m_auth};
    MCPService m_mcp;
    SharedInstance<MCPService> sharedMcp{m_mcp};
};
