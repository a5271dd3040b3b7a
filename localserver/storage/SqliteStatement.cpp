#include "storage/SqliteStatement.h"

#include "storage/DatabaseError.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3 *connection_, std::string_view sql)
    : connection(connection_)
{
    check(sqlite3_prepare_v2(connection, sql.data(), static_cast<int>(sql.size()), &statement,
                             nullptr));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement);
}

SqliteStatement &SqliteStatement::bind(int index, std::string_view text)
{
    check(sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, std::int64_t value)
{
    check(sqlite3_bind_int64(statement, index, value));
    return *this;
}

SqliteStatement &SqliteStatement::bindNullable(int index, const std::optional<std::string> &text)
{
    if (text)
        return bind(index, std::string_view(*text));
    check(sqlite3_bind_null(statement, index));
    return *this;
}

bool SqliteStatement::step()
{
    const auto result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    check(result);
    return false;
}

std::string SqliteStatement::text(int column) const
{
    return optionalText(column).value_or(std::string());
}

std::optional<std::string> SqliteStatement::optionalText(int column) const
{
    const auto *bytes = sqlite3_column_text(statement, column);
    if (bytes == nullptr)
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(statement, column);
}

void SqliteStatement::check(int result) const
{
    if (result != SQLITE_OK)
        throw DatabaseError(sqlite3_errmsg(connection));
}
