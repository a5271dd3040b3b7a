#include "storage/Database.h"

#include "storage/DatabaseError.h"

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
constexpr auto readable = ownerOnly | fs::perms::group_read | fs::perms::others_read;

// The journal's mode is SQLite's choice: it copies the database file's.
fs::perms journalPermissions(const fs::path &file)
{
    sqlite3 *connection = nullptr;
    EXPECT_EQ(sqlite3_open(file.c_str(), &connection), SQLITE_OK);
    // A journal exists from a transaction's first write to its end.
    EXPECT_EQ(sqlite3_exec(connection,
                           "BEGIN; INSERT INTO todos (user_id, title, created_at) "
                           "VALUES ('u', 't', 'now')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const auto permissions = fs::status(fs::path(file).concat("-journal")).permissions();
    sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(connection);
    return permissions;
}

TEST(DatabaseTest, ItsFilesAreTheUsersAlone)
{
    QTemporaryDir directory;
    const auto folder = fs::path(directory.path().toStdString()) / "data";
    const auto file = folder / Database::fileName;
    std::make_unique<Database>(folder).reset();
    const auto created = fs::status(file).permissions();
    fs::permissions(file, readable);
    std::make_unique<Database>(folder).reset();

    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(created, ownerOnly);
    EXPECT_EQ(fs::status(file).permissions(), ownerOnly);
    EXPECT_EQ(journalPermissions(file), ownerOnly);
}

// An empty file, which SQLite would take for a new database.
fs::path emptyFile(const fs::path &file, fs::perms permissions)
{
    std::ofstream{file};
    fs::permissions(file, permissions);
    return file;
}

// A link at the database's name in a folder the user named would turn the database, and the
// change of its mode, onto a file elsewhere.
TEST(DatabaseTest, ALinkAtItsNameIsRefusedAndWhatItNamesLeftAlone)
{
    QTemporaryDir directory;
    const fs::path folder(directory.path().toStdString());
    const auto elsewhere = emptyFile(folder / "elsewhere", readable);
    fs::create_symlink(elsewhere, folder / Database::fileName);

    EXPECT_THROW(Database{folder}, DatabaseError);
    EXPECT_EQ(fs::status(elsewhere).permissions(), readable);
    EXPECT_EQ(fs::file_size(elsewhere), 0);
}

// A folder the user named may be shared on purpose: a database file of someone else's in it is
// opened as it is, and its mode is its owner's to choose.
TEST(DatabaseTest, SomeoneElsesFileIsOpenedWithItsModeLeftAlone)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    QTemporaryDir directory;
    const fs::path folder(directory.path().toStdString());
    const auto file = emptyFile(folder / Database::fileName, readable);
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);

    EXPECT_NO_THROW(Database{folder});
    EXPECT_EQ(fs::status(file).permissions(), readable);
}

} // namespace

namespace {

TEST(DatabaseTest, ExchangesAreDroppedWholeOldestFirstPastEitherLimit)
{
    QTemporaryDir folder;
    Database database(folder.path().toStdString());
    auto texts = [&](std::string_view user) {
        std::vector<std::string> kept;
        for (const auto &exchange : database.exchanges(user))
            kept.push_back(exchange.question + "/" + exchange.answer);
        return kept;
    };
    // Characters, not bytes: each exchange holds ten.
    for (const auto *question : {"q1", "q2", "q3", "q4"})
        database.addExchange("ada", {question, "éééééééé"}, 3, 1000);
    database.addExchange("bo", {"only", "mine"}, 3, 1000);
    EXPECT_EQ(texts("ada"),
              (std::vector<std::string>{"q2/éééééééé", "q3/éééééééé", "q4/éééééééé"}));
    database.addExchange("ada", {"q5", "éééééééé"}, 3, 25);
    EXPECT_EQ(texts("ada"), (std::vector<std::string>{"q4/éééééééé", "q5/éééééééé"}));
    // One exchange past the budget on its own leaves nothing to send.
    database.addExchange("ada", {"q6", std::string(30, 'x')}, 3, 25);
    EXPECT_TRUE(texts("ada").empty());
    EXPECT_EQ(texts("bo"), std::vector<std::string>{"only/mine"});
}

} // namespace
