#include "storage/Database.h"

#include "storage/DatabaseError.h"
#include "storage/SqliteStatement.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view schema[] = {
    "CREATE TABLE IF NOT EXISTS profiles (id TEXT PRIMARY KEY, email TEXT NOT NULL, "
    "first_name TEXT NOT NULL, last_name TEXT, ai_name TEXT NOT NULL, preferences TEXT NOT NULL, "
    "created_at TEXT NOT NULL, updated_at TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS meals (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "user_id TEXT NOT NULL, meal_type TEXT NOT NULL, description TEXT NOT NULL, "
    "calories INTEGER NOT NULL, eaten_at TEXT NOT NULL, day TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS meals_by_day ON meals (user_id, day)",
    "CREATE TABLE IF NOT EXISTS todos (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "user_id TEXT NOT NULL, title TEXT NOT NULL, done INTEGER NOT NULL DEFAULT 0, "
    "created_at TEXT NOT NULL, completed_at TEXT)",
    "CREATE TABLE IF NOT EXISTS exchanges (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "user_id TEXT NOT NULL, question TEXT NOT NULL, answer TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS exchanges_by_user ON exchanges (user_id, id)",
};

constexpr std::string_view profileColumns =
    "id, email, first_name, last_name, ai_name, preferences, created_at, updated_at";
constexpr std::string_view mealColumns = "id, meal_type, description, calories, eaten_at, day";
constexpr std::string_view todoColumns = "id, title, done, created_at, completed_at";

std::string sql(std::string_view head, std::string_view columns, std::string_view tail)
{
    return std::string(head).append(columns).append(tail);
}

Profile readProfile(const SqliteStatement &row)
{
    return Profile{row.text(0), row.text(1), row.text(2), row.optionalText(3),
                   row.text(4), row.text(5), row.text(6), row.text(7)};
}

Meal readMeal(const SqliteStatement &row)
{
    return Meal{row.integer(0), row.text(1), row.text(2), static_cast<int>(row.integer(3)),
                row.text(4),    row.text(5)};
}

Todo readTodo(const SqliteStatement &row)
{
    return Todo{row.integer(0), row.text(1), row.integer(2) != 0, row.text(3), row.optionalText(4)};
}

// SQLite creates its files readable by everyone, and gives a journal the mode of its database:
// a database file made, or found, private here keeps the user's data, journals included, theirs.
// A file of someone else's is opened as it is: a folder the user named may be shared on purpose,
// and the file's mode is its owner's to choose. A link at the name is refused, since it would turn
// the database, and this change of mode, onto a file elsewhere.
void makePrivateFile(const std::string &file)
{
    constexpr auto ownerOnly = S_IRUSR | S_IWUSR;
    // Not blocking: a pipe at the name would otherwise hold the start until someone writes to it.
    const auto descriptor =
        ::open(file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, ownerOnly);
    if (descriptor < 0) {
        const auto error = errno;
        throw DatabaseError(file + ": " +
                            (error == ELOOP ? "a link; the database must be a file of its own"
                                            : std::strerror(error)));
    }
    struct stat status = {};
    std::string failure;
    if (::fstat(descriptor, &status) != 0)
        failure = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        failure = "not a file";
    else if (status.st_uid == ::geteuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0 &&
             ::fchmod(descriptor, ownerOnly) != 0)
        failure = std::strerror(errno);
    ::close(descriptor);
    if (!failure.empty())
        throw DatabaseError(file + ": " + failure);
}

} // namespace

Database::Database(const std::filesystem::path &directory)
{
    // Only a folder made here is made private: a folder the user named may be shared on purpose.
    if (std::filesystem::create_directories(directory))
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    const auto file = (directory / fileName).string();
    makePrivateFile(file);
    const auto result = sqlite3_open_v2(
        file.c_str(), &connection,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (result != SQLITE_OK) {
        const std::string message =
            connection ? sqlite3_errmsg(connection) : sqlite3_errstr(result);
        sqlite3_close(connection);
        throw DatabaseError(file + ": " + message);
    }
    sqlite3_busy_timeout(connection, 5000);
    createSchema();
}

Database::~Database()
{
    sqlite3_close(connection);
}

void Database::createSchema()
{
    for (const auto statement : schema)
        SqliteStatement(connection, statement).step();
}

Profile Database::saveProfile(const Profile &profile)
{
    {
        const std::lock_guard lock(mutex);
        SqliteStatement insert(
            connection,
            sql("INSERT INTO profiles (", profileColumns,
                ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT (id) DO UPDATE SET "
                "email = excluded.email, first_name = excluded.first_name, "
                "last_name = excluded.last_name, updated_at = excluded.updated_at"));
        insert.bind(1, profile.id)
            .bind(2, profile.email)
            .bind(3, profile.firstName)
            .bindNullable(4, profile.lastName)
            .bind(5, profile.aiName)
            .bind(6, profile.preferences)
            .bind(7, profile.createdAt)
            .bind(8, profile.updatedAt)
            .step();
    }
    return *this->profile(profile.id);
}

std::optional<Profile> Database::profile(std::string_view id)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(connection,
                           sql("SELECT ", profileColumns, " FROM profiles WHERE id = ?1"));
    select.bind(1, id);
    if (!select.step())
        return std::nullopt;
    return readProfile(select);
}

Meal Database::addMeal(std::string_view userId, const Meal &meal)
{
    const std::lock_guard lock(mutex);
    SqliteStatement insert(connection,
                           "INSERT INTO meals (user_id, meal_type, description, calories, "
                           "eaten_at, day) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    insert.bind(1, userId)
        .bind(2, meal.mealType)
        .bind(3, meal.description)
        .bind(4, std::int64_t{meal.calories})
        .bind(5, meal.eatenAt)
        .bind(6, meal.day)
        .step();
    auto stored = meal;
    stored.id = sqlite3_last_insert_rowid(connection);
    return stored;
}

std::vector<Meal> Database::meals(std::string_view userId, std::string_view day)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(connection, sql("SELECT ", mealColumns,
                                           " FROM meals WHERE user_id = ?1 AND day = ?2 "
                                           "ORDER BY eaten_at, id"));
    select.bind(1, userId).bind(2, day);
    std::vector<Meal> meals;
    while (select.step())
        meals.push_back(readMeal(select));
    return meals;
}

std::vector<DayTotal> Database::dayTotals(std::string_view userId, std::string_view first,
                                          std::string_view last)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(connection,
                           "SELECT day, COUNT(*), SUM(calories) FROM meals WHERE user_id = ?1 "
                           "AND day >= ?2 AND day <= ?3 GROUP BY day ORDER BY day");
    select.bind(1, userId).bind(2, first).bind(3, last);
    std::vector<DayTotal> totals;
    while (select.step())
        totals.push_back(DayTotal{select.text(0), static_cast<int>(select.integer(1)),
                                  static_cast<int>(select.integer(2))});
    return totals;
}

Todo Database::addTodo(std::string_view userId, const Todo &todo)
{
    const std::lock_guard lock(mutex);
    SqliteStatement insert(connection, "INSERT INTO todos (user_id, title, done, created_at) "
                                       "VALUES (?1, ?2, 0, ?3)");
    insert.bind(1, userId).bind(2, todo.title).bind(3, todo.createdAt).step();
    auto stored = todo;
    stored.id = sqlite3_last_insert_rowid(connection);
    stored.done = false;
    stored.completedAt.reset();
    return stored;
}

std::vector<Todo> Database::todos(std::string_view userId, bool includeDone)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(connection,
                           sql("SELECT ", todoColumns,
                               " FROM todos WHERE user_id = ?1 AND (?2 OR done = 0) ORDER BY id"));
    select.bind(1, userId).bind(2, std::int64_t{includeDone ? 1 : 0});
    std::vector<Todo> todos;
    while (select.step())
        todos.push_back(readTodo(select));
    return todos;
}

std::optional<Todo> Database::todo(std::string_view userId, std::int64_t id)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(
        connection, sql("SELECT ", todoColumns, " FROM todos WHERE user_id = ?1 AND id = ?2"));
    select.bind(1, userId).bind(2, id);
    if (!select.step())
        return std::nullopt;
    return readTodo(select);
}

std::optional<Todo> Database::completeTodo(std::string_view userId, std::int64_t id,
                                           std::string_view completedAt)
{
    {
        const std::lock_guard lock(mutex);
        SqliteStatement update(connection, "UPDATE todos SET done = 1, completed_at = ?3 "
                                           "WHERE user_id = ?1 AND id = ?2 AND done = 0");
        update.bind(1, userId).bind(2, id).bind(3, completedAt).step();
    }
    return todo(userId, id);
}

std::vector<Exchange> Database::exchanges(std::string_view userId)
{
    const std::lock_guard lock(mutex);
    SqliteStatement select(connection,
                           "SELECT question, answer FROM exchanges WHERE user_id = ? ORDER BY id");
    select.bind(1, userId);
    std::vector<Exchange> found;
    while (select.step())
        found.push_back(Exchange{select.text(0), select.text(1)});
    return found;
}

void Database::addExchange(std::string_view userId, const Exchange &exchange,
                           std::size_t maximumCount, std::size_t maximumCharacters)
{
    const std::lock_guard lock(mutex);
    SqliteStatement(connection,
                    "INSERT INTO exchanges (user_id, question, answer) VALUES (?, ?, ?)")
        .bind(1, userId)
        .bind(2, exchange.question)
        .bind(3, exchange.answer)
        .step();
    // Newest first: keep exchanges while both limits hold; the first one past them goes, with
    // everything older.
    std::optional<std::int64_t> firstDropped;
    {
        SqliteStatement newest(connection,
                               "SELECT id, length(question) + length(answer) FROM exchanges "
                               "WHERE user_id = ? ORDER BY id DESC");
        newest.bind(1, userId);
        std::size_t count = 0;
        std::size_t characters = 0;
        while (!firstDropped && newest.step()) {
            characters += static_cast<std::size_t>(newest.integer(1));
            if (++count > maximumCount || characters > maximumCharacters)
                firstDropped = newest.integer(0);
        }
    }
    if (firstDropped)
        SqliteStatement(connection, "DELETE FROM exchanges WHERE user_id = ? AND id <= ?")
            .bind(1, userId)
            .bind(2, *firstDropped)
            .step();
}
