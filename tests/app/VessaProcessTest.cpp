#include "SignInFixture.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "identity/KeychainKey.h"
#include "support/TaskAwaiting.h"

#include <QDir>
#include <QFile>
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
#include <pwd.h>
#include <unistd.h>
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

    QProcessEnvironment folderEnvironment() const
    {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder.path());
        variables.insert(QStringLiteral("XDG_DATA_HOME"), dataFolder.path());
        variables.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder.path());
        variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return variables;
    }

    QProcess &startVessa(const QStringList &arguments)
    {
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

    bool someoneListens() const { return someoneListensAt(socketPath()); }

    static bool someoneListensAt(const QString &path)
    {
        QLocalSocket socket;
        socket.connectToServer(path);
        return socket.waitForConnected(1000);
    }

    QTemporaryDir runtimeFolder;
    QTemporaryDir dataFolder;
    QTemporaryDir configFolder;
    QProcessEnvironment environment = folderEnvironment();
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

// Qt's own fallback for a missing runtime folder, /tmp/runtime-<user>, can be someone else's or
// open to others, and Qt then has none to offer. Ours, left open to others, is closed first.
TEST_F(VessaProcessTest, WithoutARuntimeFolderASecondStartStillFindsTheFirst)
{
    constexpr auto open =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    const QTemporaryDir temporaryFolder;
    const QString qtFolder = temporaryFolder.filePath(
        QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    const QString ownFolder = dataFolder.filePath(QStringLiteral("cache/com.kolvane.vessa-mac"));
    for (const QString &folder : {qtFolder, ownFolder})
        ASSERT_TRUE(QDir().mkpath(folder) && QFile::setPermissions(folder, open));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), temporaryFolder.path());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dataFolder.filePath("cache"));
    const QString socket = ownFolder + "/" + SingleInstance::socketFileName;

    QProcess &first = startVessa({});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return someoneListensAt(socket) || first.state() == QProcess::NotRunning; },
        processTimeoutMs));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().constData();
    EXPECT_EQ(QFileInfo(ownFolder).permissions() & open,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess &second = startVessa({QStringLiteral("--toggle")});
    ASSERT_TRUE(waitForExit(second));
    EXPECT_TRUE(exitedCleanly(second));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    ASSERT_TRUE(waitForExit(first));
    EXPECT_TRUE(exitedCleanly(first));
}
