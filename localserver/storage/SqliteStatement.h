#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement: values are only ever bound, never spliced into SQL text. Finalized when
// destroyed. Failures throw DatabaseError.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *connection, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    // Parameters count from 1, as in SQL.
    SqliteStatement &bind(int index, std::string_view text);
    SqliteStatement &bind(int index, std::int64_t value);
    // NULL when there is no text.
    SqliteStatement &bindNullable(int index, const std::optional<std::string> &text);

    // True when a row is ready to read, false when the statement has finished.
    bool step();
    // Columns count from 0.
    std::string text(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::int64_t integer(int column) const;

private:
    void check(int result) const;

    sqlite3 *connection;
    sqlite3_stmt *statement = nullptr;
};
