#pragma once

#include "storage/DayTotal.h"
#include "storage/Exchange.h"
#include "storage/Meal.h"
#include "storage/Profile.h"
#include "storage/Todo.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// Profiles, meals, todos and recent exchanges with the model in one SQLite file, so that what users
// log survives a restart. Every operation holds the connection alone: the server's request threads
// call in concurrently. Failures throw DatabaseError.
class Database
{
public:
    static constexpr char fileName[] = "vessa-localserver.sqlite3";

    // Opens, or creates, the database file in the directory, creating the directory (private to
    // the user) when it is missing. A file of the user's, and so each journal of it, is made the
    // user's alone; someone else's is opened as it is. A link at the file's name is refused.
    explicit Database(const std::filesystem::path &directory);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // The first save of an id creates the profile with all its fields; later saves change only
    // the e-mail address and the names, keeping what the user built up.
    Profile saveProfile(const Profile &profile);
    std::optional<Profile> profile(std::string_view id);

    Meal addMeal(std::string_view userId, const Meal &meal);
    std::vector<Meal> meals(std::string_view userId, std::string_view day);
    // Days from first to last (inclusive) on which meals were logged, in date order.
    std::vector<DayTotal> dayTotals(std::string_view userId, std::string_view first,
                                    std::string_view last);

    Todo addTodo(std::string_view userId, const Todo &todo);
    std::vector<Todo> todos(std::string_view userId, bool includeDone);
    std::optional<Todo> todo(std::string_view userId, std::int64_t id);
    // None when the user has no todo with that id; completing a done todo keeps its first date.
    std::optional<Todo> completeTodo(std::string_view userId, std::int64_t id,
                                     std::string_view completedAt);

    // The user's recent exchanges with the model, oldest first.
    std::vector<Exchange> exchanges(std::string_view userId);
    // Keeps the exchange, then drops the user's oldest ones until at most maximumCount remain
    // whose questions and answers hold at most maximumCharacters characters together.
    void addExchange(std::string_view userId, const Exchange &exchange, std::size_t maximumCount,
                     std::size_t maximumCharacters);

private:
    void createSchema();

    std::mutex mutex;
    sqlite3 *connection = nullptr;
};
