#include "app/SingleInstance.h"

#include "app/ForwardedUrl.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public testing::Test
{
protected:
    QString socketPath() const { return folder.filePath(QStringLiteral("instance.socket")); }

    // Leaves the file of a socket that once listened and is gone, as a crashed instance does.
    void leaveStaleSocketFile() const
    {
        const QByteArray path = QFile::encodeName(socketPath());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address),
                  0);
        ASSERT_EQ(::listen(descriptor, 1), 0);
        ::close(descriptor);
    }

    // A raw peer that writes what it is given, as anyone who can reach the socket could.
    std::unique_ptr<QLocalSocket> connectRaw(const QByteArray &bytes) const
    {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(socketPath());
        EXPECT_TRUE(socket->waitForConnected(1000));
        socket->write(bytes);
        EXPECT_TRUE(socket->waitForBytesWritten(1000));
        return socket;
    }

    static QList<QUrl> urlsOf(const QSignalSpy &spy)
    {
        QList<QUrl> urls;
        for (const QList<QVariant> &arguments : spy)
            urls.append(arguments.at(0).toUrl());
        return urls;
    }

    QTemporaryDir folder;
};

} // namespace

TEST_F(SingleInstanceTest, SecondStartForwardsItsUrlsInOrderToTheFirst)
{
    SingleInstance first(socketPath());
    ASSERT_EQ(first.start({}), SingleInstance::Role::primary);
    QSignalSpy received(&first, &SingleInstance::urlReceived);

    SingleInstance second(socketPath());
    EXPECT_EQ(
        second.start({QStringLiteral("vessa-mac://callback?code=abc&state=s1"),
                      QStringLiteral("not a url"), QStringLiteral("https://example.com/after")}),
        SingleInstance::Role::forwarded);

    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 5000));
    EXPECT_EQ(urlsOf(received),
              (QList<QUrl>{QUrl(QStringLiteral("vessa-mac://callback?code=abc&state=s1")),
                           QUrl(QStringLiteral("https://example.com/after"))}));
}

TEST_F(SingleInstanceTest, BadLinesAreDroppedAndTheServerGoesOn)
{
    SingleInstance instance(socketPath());
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    EXPECT_FALSE(QFileInfo(socketPath()).permissions() &
                 (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));
    QSignalSpy received(&instance, &SingleInstance::urlReceived);

    auto peer = connectRaw("vessa-mac://callback?code=a\x01\n"
                           "vessa-mac://callback?code=\xff\xfe\n"
                           "not a url\n"
                           "\n"
                           "vessa-mac://callback?code=good\n"
                           "vessa-mac://callback?code=unfinished");
    peer->disconnectFromServer();
    auto flooder = connectRaw(QByteArray(3 * ForwardedUrl::maximumLineLength, 'a'));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return flooder->state() == QLocalSocket::UnconnectedState; }, 5000));
    connectRaw("vessa-mac://callback?code=next\n")->disconnectFromServer();

    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 5000));
    EXPECT_EQ(urlsOf(received),
              (QList<QUrl>{QUrl(QStringLiteral("vessa-mac://callback?code=good")),
                           QUrl(QStringLiteral("vessa-mac://callback?code=next"))}));
}

TEST_F(SingleInstanceTest, StaleSocketFileIsReplaced)
{
    leaveStaleSocketFile();
    ASSERT_TRUE(QFileInfo::exists(socketPath()));

    SingleInstance instance(socketPath());
    ASSERT_EQ(instance.start({}), SingleInstance::Role::primary);
    QSignalSpy received(&instance, &SingleInstance::urlReceived);

    SingleInstance second(socketPath());
    EXPECT_EQ(second.start({QStringLiteral("vessa-mac://callback?code=c")}),
              SingleInstance::Role::forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 1; }, 5000));
}

TEST_F(SingleInstanceTest, ToggleRequestsTravelInOrderWithTheUrls)
{
    SingleInstance first(socketPath());
    ASSERT_EQ(first.start({}), SingleInstance::Role::primary);
    QStringList received;
    QObject::connect(&first, &SingleInstance::toggleRequested,
                     [&] { received.append(QStringLiteral("toggle")); });
    QObject::connect(&first, &SingleInstance::urlReceived,
                     [&](const QUrl &url) { received.append(url.toString()); });

    SingleInstance second(socketPath());
    EXPECT_EQ(
        second.start({QStringLiteral("--toggle"), QStringLiteral("vessa-mac://callback?code=c"),
                      QStringLiteral("--toggle")}),
        SingleInstance::Role::forwarded);
    // "toggle" alone is neither the request nor a URL.
    connectRaw("toggle\n--toggle \n");

    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 3; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(received,
              (QStringList{QStringLiteral("toggle"), QStringLiteral("vessa-mac://callback?code=c"),
                           QStringLiteral("toggle")}));
}

TEST_F(SingleInstanceTest, AStartWithNothingToHandOverAsksToShowThePopover)
{
    SingleInstance first(socketPath());
    ASSERT_EQ(first.start({}), SingleInstance::Role::primary);
    QStringList received;
    QObject::connect(&first, &SingleInstance::showRequested,
                     [&] { received.append(QStringLiteral("show")); });
    QObject::connect(&first, &SingleInstance::toggleRequested,
                     [&] { received.append(QStringLiteral("toggle")); });
    QObject::connect(&first, &SingleInstance::urlReceived,
                     [&](const QUrl &url) { received.append(url.toString()); });

    const QStringList starts[] = {{},
                                  {QStringLiteral("--window")},
                                  {QStringLiteral("not a url")},
                                  {QStringLiteral("--toggle")},
                                  {QStringLiteral("vessa-mac://callback?code=c")}};
    for (const QStringList &arguments : starts) {
        SingleInstance again(socketPath());
        EXPECT_EQ(again.start(arguments), SingleInstance::Role::forwarded);
    }

    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() == 5; }, 5000));
    QTest::qWait(50);
    received.sort();
    EXPECT_EQ(received, (QStringList{QStringLiteral("show"), QStringLiteral("show"),
                                     QStringLiteral("show"), QStringLiteral("toggle"),
                                     QStringLiteral("vessa-mac://callback?code=c")}));
}

TEST_F(SingleInstanceTest, AStartAfterTheRunningInstanceClosedBecomesTheRunningOne)
{
    SingleInstance first(socketPath());
    ASSERT_EQ(first.start({}), SingleInstance::Role::primary);
    first.close();

    SingleInstance next(socketPath());
    EXPECT_EQ(next.start({}), SingleInstance::Role::primary);
}
