#include "SignInFixture.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "identity/KeychainKey.h"
#include "support/TaskAwaiting.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace {

constexpr int processTimeoutMs = 20000;

// Runs the real executable as the browser would, with every per-user folder in a temporary one,
// so that it finds only the instances the test starts and touches no real user data.
class VessaProcessTest : public SignInFixture
{
protected:
    ~VessaProcessTest() override
    {
        for (const auto &process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(processTimeoutMs);
            }
        }
    }

    QString socketPath() const
    {
        return runtimeFolder.filePath(QLatin1StringView(SingleInstance::socketFileName));
    }

    QProcess &startVessa(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder.path());
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataFolder.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        auto &process = *processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VESSA_EXECUTABLE), arguments);
        EXPECT_TRUE(process.waitForStarted(processTimeoutMs));
        return process;
    }

    // Runs the event loop meanwhile, so that this process can serve as the running instance.
    static bool waitForExit(QProcess &process)
    {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; },
                               processTimeoutMs);
    }

    static bool exitedCleanly(const QProcess &process)
    {
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    bool someoneListens() const
    {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        return socket.waitForConnected(1000);
    }

    QTemporaryDir runtimeFolder;
    QTemporaryDir dataFolder;
    QTemporaryDir configFolder;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

TEST_F(VessaProcessTest, CallbackStartHandsTheCodeToTheRunningSignInAndExits)
{
    SingleInstance instance(socketPath());
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    AppDelegate delegate([this]() -> AuthService & { return auth; });
    QObject::connect(&instance, &SingleInstance::urlReceived, &delegate,
                     [&delegate](const QUrl &url) { delegate.openURLs({url}); });
    QCoro::Task<> signIn = beginSignIn();

    QProcess &browserStart =
        startVessa({callbackURL(QStringLiteral("code-from-browser")).toString(QUrl::FullyEncoded)});
    ASSERT_TRUE(waitForExit(browserStart));
    EXPECT_TRUE(exitedCleanly(browserStart));
    EXPECT_EQ(browserStart.readAllStandardOutput(), "");

    awaitTask(std::move(signIn));
    EXPECT_TRUE(auth.isAuthenticated());
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("token-1"));
    ASSERT_EQ(tokenExchanges(), 1);
    const QByteArray body = identityProvider.requests().last().body;
    EXPECT_EQ(nlohmann::json::parse(body.cbegin(), body.cend()).at("code"), "code-from-browser");
    // Forwarding happens before any service exists: the forwarding start never opened a store.
    EXPECT_TRUE(QDir(dataFolder.path()).isEmpty());
}

TEST_F(VessaProcessTest, StartsAtOnceLeaveOneRunningInstance)
{
    constexpr int starts = 4;
    for (int index = 0; index < starts; ++index)
        startVessa({});
    const auto ended = [this] {
        return std::count_if(processes.cbegin(), processes.cend(), [](const auto &process) {
            return process->state() == QProcess::NotRunning;
        });
    };

    // Every start but one finds the running instance and leaves.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended() >= starts - 1; }, processTimeoutMs));
    EXPECT_TRUE(someoneListens());
    for (const auto &process : processes) {
        if (process->state() == QProcess::NotRunning) {
            EXPECT_TRUE(exitedCleanly(*process));
            EXPECT_EQ(process->readAllStandardOutput(), "");
        } else {
            // The running instance ends on SIGTERM through its event loop, socket removed, hot
            // key gone before the end.
            process->terminate();
            ASSERT_TRUE(waitForExit(*process));
            EXPECT_TRUE(exitedCleanly(*process));
            const QByteArray log = process->readAllStandardOutput();
            EXPECT_TRUE(log.contains("[AppDelegate] Vessa Mac launched\n")) << log.constData();
            EXPECT_TRUE(log.endsWith("[HotKeyManager] Hotkey monitors removed\n"
                                     "[AppDelegate] Vessa Mac terminating\n"))
                << log.constData();
        }
    }
    EXPECT_FALSE(QFileInfo::exists(socketPath()));
}
