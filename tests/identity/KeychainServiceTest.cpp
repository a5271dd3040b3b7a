#include "identity/KeychainService.h"

#include "FileFixtures.h"
#include "identity/FileSystemError.h"
#include "identity/KeychainError.h"
#include "support/TaskAwaiting.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

using FileFixtures::contents;
using FileFixtures::entries;
using FileFixtures::mode;
using FileFixtures::writeFile;

namespace {

// A record in the shape the sign-in state uses: camel-case keys, absent optionals left out.
struct Profile
{
    std::string id;
    std::string email;
    std::optional<std::string> firstName;
};

void to_json(nlohmann::ordered_json &json, const Profile &profile)
{
    json["id"] = profile.id;
    json["email"] = profile.email;
    if (profile.firstName)
        json["firstName"] = *profile.firstName;
}

void from_json(const nlohmann::ordered_json &json, Profile &profile)
{
    json.at("id").get_to(profile.id);
    json.at("email").get_to(profile.email);
    if (json.contains("firstName"))
        profile.firstName = json.at("firstName").get<std::string>();
    else
        profile.firstName.reset();
}

bool operator==(const Profile &a, const Profile &b)
{
    return a.id == b.id && a.email == b.email && a.firstName == b.firstName;
}

// A record whose coders exist only for plain nlohmann::json, as the library's macros write them.
struct Tally
{
    int count = 0;
    std::vector<std::string> names;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Tally, count, names)

KeychainError keychainErrorOf(QCoro::Task<QByteArray> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const KeychainError &error) {
        return error;
    }
    ADD_FAILURE() << "expected a KeychainError";
    return KeychainError::saveFailed(0);
}

} // namespace

class KeychainServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    QString storagePath() const { return root.filePath("data/com.kolvane.vessa-mac/secure"); }
    QString keyPath(KeychainKey key) const
    {
        return storagePath() + '/' + QString::fromUtf8(rawValue(key));
    }

    QTemporaryDir root;
    KeychainService store{storagePath()};
};

TEST_F(KeychainServiceTest, CreatesItsFolderOwnerOnlyWithMissingParents)
{
    EXPECT_EQ(store.storageDirectory(), storagePath());
    EXPECT_EQ(mode(storagePath()), 0700);
    EXPECT_EQ(mode(root.filePath("data/com.kolvane.vessa-mac")), 0700);
    EXPECT_EQ(store.filePath(KeychainKey::userData), storagePath() + "/userData");
}

TEST_F(KeychainServiceTest, FreshStoreHasNoValues)
{
    for (KeychainKey key : allKeychainKeys) {
        EXPECT_EQ(keychainErrorOf(store.load(key)), KeychainError::loadFailed(-25300));
        EXPECT_FALSE(awaitTask(store.exists(key)));
    }
    EXPECT_THROW(awaitTask(store.loadString(KeychainKey::aiName)), KeychainError);
    EXPECT_THROW(awaitTask(store.load<Profile>(KeychainKey::userData)), KeychainError);
}

TEST_F(KeychainServiceTest, StringIsStoredAsItsBareUtf8Bytes)
{
    const QString name = QStringLiteral("N\u00f6ra \U0001F916");
    awaitTask(store.save(name, KeychainKey::aiName));
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "N\xc3\xb6ra \xf0\x9f\xa4\x96");
    EXPECT_EQ(mode(keyPath(KeychainKey::aiName)), 0600);
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::aiName)), name);
}

TEST_F(KeychainServiceTest, EmptyStringIsAZeroByteFileThatExists)
{
    awaitTask(store.save(QString(), KeychainKey::accessToken));
    EXPECT_TRUE(QFileInfo::exists(keyPath(KeychainKey::accessToken)));
    EXPECT_EQ(QFileInfo(keyPath(KeychainKey::accessToken)).size(), 0);
    EXPECT_TRUE(awaitTask(store.exists(KeychainKey::accessToken)));
    const QString loaded = awaitTask(store.loadString(KeychainKey::accessToken));
    EXPECT_TRUE(loaded.isEmpty());
}

TEST_F(KeychainServiceTest, LeadingByteOrderMarkIsKeptAsText)
{
    const QString marked = QStringLiteral("\ufeffhello");
    awaitTask(store.save(marked, KeychainKey::aiName));
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "\xef\xbb\xbfhello");
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::aiName)), marked);
}

TEST_F(KeychainServiceTest, BytesRoundTripExactly)
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    awaitTask(store.save(bytes, KeychainKey::refreshToken));
    EXPECT_EQ(contents(keyPath(KeychainKey::refreshToken)), bytes);
    EXPECT_EQ(awaitTask(store.load(KeychainKey::refreshToken)), bytes);
}

TEST_F(KeychainServiceTest, SecondSaveReplacesTheFirst)
{
    awaitTask(store.save(QStringLiteral("a much longer first token"), KeychainKey::accessToken));
    awaitTask(store.save(QStringLiteral("short"), KeychainKey::accessToken));
    EXPECT_EQ(contents(keyPath(KeychainKey::accessToken)), "short");
    EXPECT_EQ(entries(storagePath()), QStringList{"accessToken"});
}

class KeychainServiceUnpairedSurrogates : public KeychainServiceTest,
                                          public ::testing::WithParamInterface<std::u16string>
{};

INSTANTIATE_TEST_SUITE_P(KeychainService, KeychainServiceUnpairedSurrogates,
                         ::testing::Values(u"\xD83D", u"ab\xD83D", u"\xDE00xy", u"\xDE00\xD83D",
                                           u"ok\xD83Dok"));

TEST_P(KeychainServiceUnpairedSurrogates, StringWithoutUtf8FormIsNotSavedAndOldValueStays)
{
    awaitTask(store.save(QStringLiteral("kept"), KeychainKey::aiName));
    const std::u16string &units = GetParam();
    const QString broken(reinterpret_cast<const QChar *>(units.data()),
                         static_cast<qsizetype>(units.size()));
    try {
        awaitTask(store.save(broken, KeychainKey::aiName));
        FAIL() << "expected encodingFailed";
    } catch (const KeychainError &error) {
        EXPECT_EQ(error, KeychainError::encodingFailed());
        EXPECT_STREQ(error.what(), "Failed to encode data");
    }
    EXPECT_EQ(contents(keyPath(KeychainKey::aiName)), "kept");
}

class KeychainServiceInvalidUtf8 : public KeychainServiceTest,
                                   public ::testing::WithParamInterface<std::string>
{};

INSTANTIATE_TEST_SUITE_P(KeychainService, KeychainServiceInvalidUtf8,
                         ::testing::Values(std::string("\xff"), std::string("abc\x80"),
                                           std::string("\xc0\xaf"),         // overlong '/'
                                           std::string("\xed\xa0\x80"),     // encoded surrogate
                                           std::string("\xf4\x90\x80\x80"), // above U+10FFFF
                                           std::string("ok\xe2\x82"),       // cut short at the end
                                           std::string("\xe2\x28\xa1")));

TEST_P(KeychainServiceInvalidUtf8, LoadStringFailsWhileLoadGivesTheBytes)
{
    const QByteArray bytes = QByteArray::fromStdString(GetParam());
    writeFile(keyPath(KeychainKey::aiName), bytes);
    try {
        awaitTask(store.loadString(KeychainKey::aiName));
        FAIL() << "expected decodingFailed";
    } catch (const KeychainError &error) {
        EXPECT_EQ(error, KeychainError::decodingFailed());
        EXPECT_STREQ(error.what(), "Failed to decode data");
    }
    EXPECT_EQ(awaitTask(store.load(KeychainKey::aiName)), bytes);
}

TEST_F(KeychainServiceTest, NulBytesAreValidText)
{
    writeFile(keyPath(KeychainKey::aiName), QByteArray("a\0b", 3));
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::aiName)), QString::fromUtf16(u"a\0b", 3));
}

TEST_F(KeychainServiceTest, RecordIsCompactJsonWithAbsentOptionalsLeftOut)
{
    const Profile ada{"user_01", "ada@example.com", std::nullopt};
    awaitTask(store.save(ada, KeychainKey::userData));
    EXPECT_EQ(contents(keyPath(KeychainKey::userData)),
              R"({"id":"user_01","email":"ada@example.com"})");
    EXPECT_EQ(awaitTask(store.load<Profile>(KeychainKey::userData)), ada);

    const Profile named{"user_02", "grace@example.com", "Grace"};
    awaitTask(store.save(named, KeychainKey::userData));
    EXPECT_EQ(awaitTask(store.load<Profile>(KeychainKey::userData)), named);
}

TEST_F(KeychainServiceTest, RecordReadDoesNotDependOnKeyOrderOrWhitespace)
{
    writeFile(keyPath(KeychainKey::userData),
              "{\n  \"firstName\": \"Ada\",\n  \"email\": \"a@b.c\",\n  \"id\": \"u\"\n}\n");
    EXPECT_EQ(awaitTask(store.load<Profile>(KeychainKey::userData)),
              (Profile{"u", "a@b.c", "Ada"}));
}

TEST_F(KeychainServiceTest, RecordCodedOnlyForPlainJsonRoundTrips)
{
    const Tally tally{3, {"a", "b"}};
    awaitTask(store.save(tally, KeychainKey::recentMemories));
    const Tally loaded = awaitTask(store.load<Tally>(KeychainKey::recentMemories));
    EXPECT_EQ(loaded.count, 3);
    EXPECT_EQ(loaded.names, tally.names);
}

TEST_F(KeychainServiceTest, MalformedRecordGivesTheDecodersOwnError)
{
    writeFile(keyPath(KeychainKey::userData), R"({"id":"u","email":)");
    EXPECT_THROW(awaitTask(store.load<Profile>(KeychainKey::userData)),
                 nlohmann::json::parse_error);
    writeFile(keyPath(KeychainKey::userData), R"({"id":"u"})");
    EXPECT_THROW(awaitTask(store.load<Profile>(KeychainKey::userData)),
                 nlohmann::json::out_of_range);
    writeFile(keyPath(KeychainKey::userData), R"({"id":7,"email":"e"})");
    EXPECT_THROW(awaitTask(store.load<Profile>(KeychainKey::userData)), nlohmann::json::type_error);
    writeFile(keyPath(KeychainKey::userData), QByteArray(100000, '['));
    EXPECT_THROW(awaitTask(store.load<Profile>(KeychainKey::userData)),
                 nlohmann::json::parse_error);
}

TEST_F(KeychainServiceTest, RecordThatCannotBeEncodedGivesTheEncodersErrorAndKeepsTheOld)
{
    const Profile ada{"user_01", "ada@example.com", std::nullopt};
    awaitTask(store.save(ada, KeychainKey::userData));
    const Profile broken{"user_01", "\xff", std::nullopt};
    EXPECT_THROW(awaitTask(store.save(broken, KeychainKey::userData)), nlohmann::json::type_error);
    EXPECT_EQ(awaitTask(store.load<Profile>(KeychainKey::userData)), ada);
}

TEST_F(KeychainServiceTest, RemoveOfANeverSavedKeySucceedsAndChangesNothing)
{
    awaitTask(store.save(QStringLiteral("token"), KeychainKey::accessToken));
    EXPECT_NO_THROW(awaitTask(store.remove(KeychainKey::refreshToken)));
    EXPECT_EQ(entries(storagePath()), QStringList{"accessToken"});
    awaitTask(store.remove(KeychainKey::accessToken));
    EXPECT_FALSE(awaitTask(store.exists(KeychainKey::accessToken)));
    EXPECT_EQ(keychainErrorOf(store.load(KeychainKey::accessToken)),
              KeychainError::loadFailed(-25300));
}

TEST_F(KeychainServiceTest, RemoveFailureIsTheFileSystemsError)
{
    ASSERT_TRUE(QDir(storagePath()).mkpath("userData/inside"));
    try {
        awaitTask(store.remove(KeychainKey::userData));
        FAIL() << "expected a FileSystemError";
    } catch (const FileSystemError &error) {
        EXPECT_EQ(error.code(), std::errc::directory_not_empty);
        EXPECT_EQ(error.path(), keyPath(KeychainKey::userData));
    }
}

TEST_F(KeychainServiceTest, DeleteAllRemovesWhatIsThere)
{
    awaitTask(store.save(QStringLiteral("token"), KeychainKey::accessToken));
    awaitTask(store.save(QStringLiteral("Nora"), KeychainKey::aiName));
    writeFile(storagePath() + "/unrelated", "mine");
    awaitTask(store.deleteAll());
    for (KeychainKey key : allKeychainKeys)
        EXPECT_FALSE(awaitTask(store.exists(key))) << rawValue(key);
    EXPECT_EQ(entries(storagePath()), QStringList{"unrelated"});
}

TEST_F(KeychainServiceTest, DeleteAllSkipsAnUnremovableEntryAndStillSucceeds)
{
    for (KeychainKey key : allKeychainKeys) {
        if (key != KeychainKey::userData)
            awaitTask(store.save(QStringLiteral("v"), key));
    }
    ASSERT_TRUE(QDir(storagePath()).mkpath("userData/inside"));
    EXPECT_NO_THROW(awaitTask(store.deleteAll()));
    EXPECT_EQ(entries(storagePath()), QStringList{"userData"});
}

TEST_F(KeychainServiceTest, DeleteAllSweepsTemporariesLeftByAnInterruptedWrite)
{
    awaitTask(store.save(QStringLiteral("token"), KeychainKey::accessToken));
    writeFile(storagePath() + "/.accessToken.Xy12Zw", "half a tok");
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("token"));
    awaitTask(store.deleteAll());
    EXPECT_TRUE(entries(storagePath()).isEmpty());
}

TEST_F(KeychainServiceTest, FailedWriteLeavesThePreviousValueReadable)
{
    awaitTask(store.save(QStringLiteral("previous"), KeychainKey::accessToken));
    {
        FileFixtures::FileSizeLimit limit(64);
        EXPECT_THROW(awaitTask(store.save(QByteArray(4096, 'n'), KeychainKey::accessToken)),
                     FileSystemError);
    }
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::accessToken)), QStringLiteral("previous"));
    EXPECT_EQ(entries(storagePath()), QStringList{"accessToken"});
}

TEST_F(KeychainServiceTest, ExistsIsTrueForAnyObjectAtTheKeysPath)
{
    ASSERT_TRUE(QDir(storagePath()).mkdir("aiName"));
    EXPECT_TRUE(awaitTask(store.exists(KeychainKey::aiName)));
    EXPECT_THROW(awaitTask(store.load(KeychainKey::aiName)), FileSystemError);
}

TEST_F(KeychainServiceTest, MissingFolderIsNotRecreatedOnSave)
{
    ASSERT_TRUE(QDir(storagePath()).removeRecursively());
    try {
        awaitTask(store.save(QStringLiteral("token"), KeychainKey::accessToken));
        FAIL() << "expected a FileSystemError";
    } catch (const FileSystemError &error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
        EXPECT_EQ(error.path(), keyPath(KeychainKey::accessToken));
        EXPECT_EQ(std::string(error.what()),
                  keyPath(KeychainKey::accessToken).toStdString() + ": No such file or directory");
    }
    EXPECT_FALSE(QFileInfo::exists(storagePath()));
    EXPECT_EQ(keychainErrorOf(store.load(KeychainKey::accessToken)),
              KeychainError::loadFailed(-25300));
}

TEST_F(KeychainServiceTest, FolderThatCannotBeCreatedIsReportedByTheFirstSave)
{
    writeFile(root.filePath("blocked"), "a file where the folder should be");
    KeychainService blocked(root.filePath("blocked/secure"));
    EXPECT_THROW(awaitTask(blocked.save(QStringLiteral("t"), KeychainKey::accessToken)),
                 FileSystemError);
    EXPECT_FALSE(awaitTask(blocked.exists(KeychainKey::accessToken)));
    EXPECT_EQ(keychainErrorOf(blocked.load(KeychainKey::accessToken)),
              KeychainError::loadFailed(-25300));
    EXPECT_NO_THROW(awaitTask(blocked.deleteAll()));
}

TEST_F(KeychainServiceTest, OperationsIssuedBackToBackRunInOrder)
{
    // Issued without waiting in between; awaited afterwards, in reverse.
    std::vector<QCoro::Task<>> saves;
    for (int i = 0; i < 50; ++i)
        saves.push_back(store.save(QString::number(i), KeychainKey::aiName));
    auto afterSaves = store.loadString(KeychainKey::aiName);
    auto removal = store.remove(KeychainKey::aiName);
    auto afterRemoval = store.exists(KeychainKey::aiName);
    auto resave = store.save(QStringLiteral("again"), KeychainKey::aiName);
    auto afterResave = store.loadString(KeychainKey::aiName);

    EXPECT_EQ(awaitTask(std::move(afterResave)), QStringLiteral("again"));
    awaitTask(std::move(resave));
    EXPECT_FALSE(awaitTask(std::move(afterRemoval)));
    awaitTask(std::move(removal));
    EXPECT_EQ(awaitTask(std::move(afterSaves)), QStringLiteral("49"));
    for (auto &save : saves)
        awaitTask(std::move(save));
}

namespace {

struct Observed
{
    QThread *resumedOn = nullptr;
    QString value;
};

QCoro::Task<Observed> saveThenLoad(KeychainService &store)
{
    co_await store.save(QStringLiteral("v"), KeychainKey::aiName);
    QThread *afterSave = QThread::currentThread();
    const QString value = co_await store.loadString(KeychainKey::aiName);
    co_return Observed{afterSave == QThread::currentThread() ? afterSave : nullptr, value};
}

QCoro::Task<QThread *> failThenObserve(KeychainService &store)
{
    try {
        co_await store.load(KeychainKey::refreshToken);
    } catch (const KeychainError &) {
    }
    co_return QThread::currentThread();
}

} // namespace

TEST_F(KeychainServiceTest, AwaitingCoroutineResumesOnTheMainThread)
{
    const QThread *mainThread = QCoreApplication::instance()->thread();
    ASSERT_EQ(QThread::currentThread(), mainThread);
    const Observed observed = awaitTask(saveThenLoad(store));
    EXPECT_EQ(observed.resumedOn, mainThread);
    EXPECT_EQ(observed.value, QStringLiteral("v"));
    EXPECT_EQ(awaitTask(failThenObserve(store)), mainThread);
}

TEST_F(KeychainServiceTest, DroppedTaskStillCompletesBeforeLaterOperations)
{
    store.save(QStringLiteral("fire and forget"), KeychainKey::aiName);
    EXPECT_EQ(awaitTask(store.loadString(KeychainKey::aiName)), QStringLiteral("fire and forget"));
}

namespace {

// Points XDG_DATA_HOME at a folder for the scope, then restores what was there.
class DataHome
{
public:
    explicit DataHome(const QString &path)
        : wasSet(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
        , saved(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(path));
    }
    ~DataHome()
    {
        if (wasSet)
            qputenv("XDG_DATA_HOME", saved);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    DataHome(const DataHome &) = delete;
    DataHome &operator=(const DataHome &) = delete;

private:
    bool wasSet;
    QByteArray saved;
};

} // namespace

TEST(KeychainServiceLocation, DefaultFolderIsUnderTheUsersDataHome)
{
    QTemporaryDir dataHome;
    ASSERT_TRUE(dataHome.isValid());
    const DataHome scope(dataHome.path());
    EXPECT_EQ(KeychainService::defaultStorageDirectory(),
              dataHome.path() + "/com.kolvane.vessa-mac/secure");
}

TEST(KeychainServiceLocation, SharedStoreIsCreatedOnceInTheDefaultFolder)
{
    // The shared store lives as long as the process, so its data home must too.
    static const QTemporaryDir processDataHome;
    ASSERT_TRUE(processDataHome.isValid());
    const DataHome scope(processDataHome.path());
    const QString expected = processDataHome.path() + "/com.kolvane.vessa-mac/secure";

    KeychainService &shared = KeychainService::shared();
    EXPECT_EQ(&shared, &KeychainService::shared());
    EXPECT_EQ(shared.storageDirectory(), expected);
    EXPECT_EQ(mode(expected), 0700);
    awaitTask(shared.save(QStringLiteral("t"), KeychainKey::accessToken));
    EXPECT_EQ(contents(expected + "/accessToken"), "t");
    awaitTask(shared.deleteAll());
}
