#include "identity/KeychainService.h"

#include "FileFixtures.h"
#include "identity/FileSystemError.h"
#include "identity/KeychainError.h"
#include "support/TaskAwaiting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <vector>

using FileFixtures::contents;
using FileFixtures::entries;
using FileFixtures::mode;
using FileFixtures::writeFile;

namespace {

// A record coded only for plain nlohmann::json, as the library's macros write it.
struct Profile
{
    std::string id;
    std::vector<std::string> names;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Profile, id, names)

} // namespace

class KeychainServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    QString storagePath() const { return root.filePath("data/com.kolvane.vessa-mac/secure"); }
    QString keyPath(KeychainKey key) const { return store.filePath(key); }

    QTemporaryDir root;
    KeychainService store{storagePath()};
};

TEST_F(KeychainServiceTest, ValuesAreOwnerOnlyFilesOfTheirExactBytes)
{
    EXPECT_EQ(mode(storagePath()), 0700);
    EXPECT_EQ(mode(root.filePath("data/com.kolvane.vessa-mac")), 0700);

    const QString name = QStringLiteral("\ufeffN\u00f6ra \U0001F916");
    awaitTask(store.save(name, KeychainKey::aiName));
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "\xef\xbb\xbfN\xc3\xb6ra \xf0\x9f\xa4\x96");
    EXPECT_EQ(mode(keyPath(KeychainKey::aiName)), 0600);
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::aiName)), name);

    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    awaitTask(store.save(bytes, KeychainKey::refreshToken));
    EXPECT_EQ(awaitTask(store.load(KeychainKey::refreshToken)), bytes);

    const Profile profile{"u1", {"a", "b"}};
    awaitTask(store.save(profile, KeychainKey::userData));
    EXPECT_EQ(contents(keyPath(KeychainKey::userData)), R"({"id":"u1","names":["a","b"]})");
    EXPECT_EQ(awaitTask(store.load<Profile>(KeychainKey::userData)).names, profile.names);
}

TEST_F(KeychainServiceTest, MissingUndecodableAndUnencodableValuesFail)
{
    EXPECT_TRUE(failureOf<KeychainError>(store.load(KeychainKey::accessToken)));
    EXPECT_FALSE(awaitTask(store.exists(KeychainKey::accessToken)));

    for (const char *invalid : {"\xff", "abc\x80", "\xc0\xaf", "\xed\xa0\x80", "ok\xe2\x82"}) {
        writeFile(keyPath(KeychainKey::aiName), invalid);
        EXPECT_TRUE(failureOf<KeychainError>(store.loadString(KeychainKey::aiName))) << invalid;
        EXPECT_EQ(awaitTask(store.load(KeychainKey::aiName)), QByteArray(invalid));
    }

    awaitTask(store.save(QStringLiteral("kept"), KeychainKey::aiName));
    const char16_t unpaired[] = u"ok\xD83Dok";
    EXPECT_TRUE(
        failureOf<KeychainError>(store.save(QString::fromUtf16(unpaired, 5), KeychainKey::aiName)));
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "kept");

    for (const QByteArray &malformed :
         {QByteArray(R"({"id":"u","names":)"), QByteArray(R"({"id":7,"names":[]})"),
          QByteArray(100000, '[')}) {
        writeFile(keyPath(KeychainKey::userData), malformed);
        EXPECT_TRUE(
            failureOf<nlohmann::json::exception>(store.load<Profile>(KeychainKey::userData)));
    }

    // A pipe at a key's path must fail the load, not block the store's thread forever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(keyPath(KeychainKey::recentMemories)).constData(), 0600),
              0);
    EXPECT_TRUE(failureOf<FileSystemError>(store.load(KeychainKey::recentMemories)));
}

TEST_F(KeychainServiceTest, FailedWriteLeavesThePreviousValueReadable)
{
    awaitTask(store.save(QStringLiteral("previous"), KeychainKey::accessToken));
    {
        FileFixtures::FileSizeLimit limit(64);
        EXPECT_TRUE(failureOf<FileSystemError>(
            store.save(QByteArray(4096, 'n'), KeychainKey::accessToken)));
    }
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("previous"));
    EXPECT_EQ(entries(storagePath()), QStringList{"accessToken"});
}

TEST_F(KeychainServiceTest, DeleteAllRemovesEveryKeyItCanAndTheLeftoversOfCutWrites)
{
    for (KeychainKey key : allKeychainKeys) {
        if (key != KeychainKey::userData)
            awaitTask(store.save(QStringLiteral("v"), key));
    }
    ASSERT_TRUE(QDir(storagePath()).mkpath("userData/inside"));
    writeFile(storagePath() + "/.accessToken.Xy12Zw", "half a token");
    writeFile(storagePath() + "/unrelated", "mine");

    EXPECT_NO_THROW(awaitTask(store.deleteAll()));
    EXPECT_EQ(entries(storagePath()), (QStringList{"unrelated", "userData"}));
}

TEST_F(KeychainServiceTest, OperationsRunInTheOrderIssuedEvenWhenDropped)
{
    store.save(QStringLiteral("dropped"), KeychainKey::accessToken);
    std::vector<QCoro::Task<>> saves;
    for (int i = 0; i < 20; ++i)
        saves.push_back(store.save(QString::number(i), KeychainKey::aiName));
    auto afterSaves = store.loadString(KeychainKey::aiName);
    auto removal = store.remove(KeychainKey::aiName);
    auto afterRemoval = store.exists(KeychainKey::aiName);

    // Awaited in reverse: each result is what the store held when the operation was issued.
    EXPECT_FALSE(awaitTask(std::move(afterRemoval)));
    awaitTask(std::move(removal));
    EXPECT_EQ(awaitTask(std::move(afterSaves)), QStringLiteral("19"));
    for (auto &save : saves)
        awaitTask(std::move(save));
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("dropped"));
}
