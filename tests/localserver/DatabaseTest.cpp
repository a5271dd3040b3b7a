#include "Database.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

namespace fs = std::filesystem;

constexpr auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;

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
    fs::permissions(file, ownerOnly | fs::perms::group_read | fs::perms::others_read);
    std::make_unique<Database>(folder).reset();

    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(created, ownerOnly);
    EXPECT_EQ(fs::status(file).permissions(), ownerOnly);
    EXPECT_EQ(journalPermissions(file), ownerOnly);
}

} // namespace
