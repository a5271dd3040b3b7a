#include "SignInFixture.h"
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "identity/KeychainKey.h"
#include "support/TaskAwaiting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
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
constexpr auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr auto everyone = ownerOnly | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

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

    // A first start listens at the socket and stays; a second one hands it a toggle and leaves.
    void expectASecondStartFindsTheFirstAt(const QString &socket)
    {
        QProcess &first = startVessa({});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return someoneListensAt(socket) || first.state() == QProcess::NotRunning; },
            processTimeoutMs));
        ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().constData();
        EXPECT_EQ(QFileInfo(QFileInfo(socket).path()).permissions() & everyone, ownerOnly);
        QProcess &second = startVessa({QStringLiteral("--toggle")});
        ASSERT_TRUE(waitForExit(second));
        EXPECT_TRUE(exitedCleanly(second));
        EXPECT_EQ(first.state(), QProcess::Running);
        first.terminate();
        ASSERT_TRUE(waitForExit(first));
        EXPECT_TRUE(exitedCleanly(first));
    }

    // A start that hands the URL nowhere and ends, naming the folder it refused.
    void expectAStartToRefuse(const QString &folder)
    {
        QProcess &start = startVessa({QStringLiteral("vessa-mac://callback?code=c&state=s")});
        ASSERT_TRUE(waitForExit(start));
        EXPECT_FALSE(exitedCleanly(start));
        EXPECT_TRUE(start.readAllStandardError().contains(QFile::encodeName(folder)));
    }

    // As a session without a runtime folder; Qt then makes one of its own among the temporary
    // files, which are the test's own.
    void leaveOutTheRuntimeFolder()
    {
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder.path());
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
    QTemporaryDir temporaryFolder;
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
// open to others, and Qt then has none to offer. Ours, left readable by others, is closed first.
TEST_F(VessaProcessTest, WithoutARuntimeFolderASecondStartStillFindsTheFirst)
{
    constexpr auto readable = ownerOnly | QFile::ReadOther | QFile::ExeOther;
    const QString qtFolder = temporaryFolder.filePath(
        QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
    const QString ownFolder = dataFolder.filePath(QStringLiteral("cache/com.kolvane.vessa-mac"));
    for (const QString &folder : {qtFolder, ownFolder})
        ASSERT_TRUE(QDir().mkpath(folder) && QFile::setPermissions(folder, readable));
    leaveOutTheRuntimeFolder();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dataFolder.filePath("cache"));

    expectASecondStartFindsTheFirstAt(ownFolder + "/" + SingleInstance::socketFileName);
}

// Others who could write to our folder could have left a socket there: closing the folder now
// would not remove it, and it would be handed the sign-in callback.
TEST_F(VessaProcessTest, AFolderOfOursOthersCouldWriteToIsRefusedWithWhatIsInIt)
{
    const QString ownFolder = dataFolder.filePath(QStringLiteral("cache/com.kolvane.vessa-mac"));
    ASSERT_TRUE(QDir().mkpath(ownFolder));
    ASSERT_TRUE(QFile::setPermissions(ownFolder, ownerOnly | QFile::WriteGroup | QFile::ExeGroup));
    QLocalServer planted;
    ASSERT_TRUE(planted.listen(ownFolder + "/" + SingleInstance::socketFileName));
    leaveOutTheRuntimeFolder();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dataFolder.filePath("cache"));

    expectAStartToRefuse(ownFolder);
    EXPECT_FALSE(planted.waitForNewConnection(0));
}

// Without a home to hold a cache, the socket goes to a folder of ours in the temporary folder; one
// made there ahead of us by someone else is refused.
TEST_F(VessaProcessTest, WithoutAHomeASecondStartStillFindsTheFirst)
{
    QFile notAFolder(dataFolder.filePath(QStringLiteral("home")));
    ASSERT_TRUE(notAFolder.open(QFile::WriteOnly));
    leaveOutTheRuntimeFolder();
    environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    environment.insert(QStringLiteral("HOME"), notAFolder.fileName() + "/user");
    const QString ownFolder =
        temporaryFolder.filePath(QStringLiteral("com.kolvane.vessa-mac-%1").arg(::geteuid()));

    // Only root can give a folder to another user.
    if (::geteuid() == 0) {
        ASSERT_TRUE(QDir().mkdir(ownFolder) &&
                    ::chown(QFile::encodeName(ownFolder), 65534, 65534) == 0);
        expectAStartToRefuse(ownFolder);
        ASSERT_TRUE(QDir().rmdir(ownFolder));
    }
    expectASecondStartFindsTheFirstAt(ownFolder + "/" + SingleInstance::socketFileName);
}

TEST_F(VessaProcessTest, VersionAndHelpOnlyPrint)
{
    // Without a display the application could not even begin: answering needs none.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const std::pair<QStringList, QByteArray> starts[] = {
        {{QStringLiteral("--version")}, "vessa " VESSA_PROJECT_VERSION "\n"},
        {{QStringLiteral("--help")}, "Usage: vessa [--toggle | --window]"},
        {{QStringLiteral("--toggle"), QStringLiteral("-h")}, "Usage: vessa [--toggle | --window]"},
    };
    for (const auto &[arguments, output] : starts) {
        QProcess &start = startVessa(arguments);
        ASSERT_TRUE(waitForExit(start));
        EXPECT_TRUE(exitedCleanly(start)) << start.readAllStandardError().constData();
        EXPECT_TRUE(start.readAllStandardOutput().startsWith(output))
            << arguments.join(' ').toStdString();
    }
    EXPECT_TRUE(QDir(runtimeFolder.path()).isEmpty()) << "no socket, no lock";
}
