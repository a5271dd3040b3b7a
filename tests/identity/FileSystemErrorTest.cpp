#include "identity/FileSystemError.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(FileSystemError, DescribesThePathThenTheSystemsOwnText)
{
    const FileSystemError error(EACCES, QStringLiteral("/home/ada/.local/share/x/accessToken"));
    EXPECT_STREQ(error.what(), "/home/ada/.local/share/x/accessToken: Permission denied");
    EXPECT_EQ(error.code(), std::errc::permission_denied);
    EXPECT_EQ(error.path(), QStringLiteral("/home/ada/.local/share/x/accessToken"));
}

TEST(FileSystemError, KeepsNonAsciiPathsAsUtf8)
{
    const FileSystemError error(ENOENT, QStringLiteral("/tmp/d\u00e9j\u00e0/aiName"));
    EXPECT_STREQ(error.what(), "/tmp/d\xc3\xa9j\xc3\xa0/aiName: No such file or directory");
}
