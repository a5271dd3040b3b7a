#include "identity/SecureFile.h"

#include "FileFixtures.h"
#include "identity/FileSystemError.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using FileFixtures::contents;
using FileFixtures::entries;
using FileFixtures::mode;
using FileFixtures::writeFile;

class SecureFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    QString path(const QString &relative) const { return root.filePath(relative); }

    QTemporaryDir root;
};

TEST_F(SecureFileTest, CreatesMissingParentsOwnerOnly)
{
    EXPECT_TRUE(SecureFile::createPrivateDirectory(path("a/b/c")));
    EXPECT_EQ(mode(path("a")), 0700);
    EXPECT_EQ(mode(path("a/b")), 0700);
    EXPECT_EQ(mode(path("a/b/c")), 0700);
}

TEST_F(SecureFileTest, LeavesAnExistingFolderAsItIs)
{
    ASSERT_EQ(::mkdir(QFile::encodeName(path("shared")).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path("shared")).constData(), 0755), 0);
    EXPECT_TRUE(SecureFile::createPrivateDirectory(path("shared")));
    EXPECT_EQ(mode(path("shared")), 0755);
}

TEST_F(SecureFileTest, ReportsAFileInTheWayOfTheFolder)
{
    writeFile(path("plain"), "x");
    EXPECT_FALSE(SecureFile::createPrivateDirectory(path("plain")));
    EXPECT_FALSE(SecureFile::createPrivateDirectory(path("plain/below")));
}

TEST_F(SecureFileTest, WriteReplacesAnExistingFileTightensItsModeAndLeavesNoTemporary)
{
    writeFile(path("key"), "old value that is longer");
    ASSERT_EQ(::chmod(QFile::encodeName(path("key")).constData(), 0644), 0);
    SecureFile::writeAtomically(path("key"), "new");
    EXPECT_EQ(contents(path("key")), "new");
    EXPECT_EQ(mode(path("key")), 0600);
    EXPECT_EQ(entries(root.path()), QStringList{"key"});
}

TEST_F(SecureFileTest, FailedRenameLeavesNoTemporaryBehind)
{
    ASSERT_TRUE(QDir(root.path()).mkpath("key/inside"));
    EXPECT_THROW(SecureFile::writeAtomically(path("key"), "x"), FileSystemError);
    EXPECT_EQ(entries(root.path()), QStringList{"key"});
}

TEST_F(SecureFileTest, ReadReturnsLargeFilesWhole)
{
    QByteArray large(300000, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7);
    writeFile(path("key"), large);
    EXPECT_EQ(SecureFile::read(path("key")), large);
}

TEST_F(SecureFileTest, ReadRefusesFoldersAndPipesInsteadOfBlocking)
{
    ASSERT_TRUE(QDir(root.path()).mkdir("folder"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
    try {
        SecureFile::read(path("folder"));
        FAIL() << "expected a FileSystemError";
    } catch (const FileSystemError &error) {
        EXPECT_EQ(error.code(), std::errc::is_a_directory);
    }
    EXPECT_THROW(SecureFile::read(path("pipe")), FileSystemError);
}

TEST_F(SecureFileTest, ExistsSeesAnyObjectEvenADanglingLink)
{
    EXPECT_FALSE(SecureFile::exists(path("key")));
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(path("key")).constData()), 0);
    EXPECT_TRUE(SecureFile::exists(path("key")));
}

TEST_F(SecureFileTest, LeftoverTemporariesOfOnlyThatKeyAreRemoved)
{
    for (const char *name : {".key.a1B2c3", ".key.zzzzzz", ".key.short", ".other.a1B2c3", "key",
                             ".key.a1B2c3d", "notes"})
        writeFile(path(name), "secret");
    SecureFile::removeLeftoverTemporaries(path("key"));
    EXPECT_EQ(entries(root.path()),
              (QStringList{".key.a1B2c3d", ".key.short", ".other.a1B2c3", "key", "notes"}));
}
