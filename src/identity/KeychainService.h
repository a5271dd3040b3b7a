#pragma once

#include "identity/KeychainKey.h"

#include <QByteArray>
#include <QCoroFuture>
#include <QCoroTask>
#include <QFuture>
#include <QString>
#include <QThreadPool>
#include <exception>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

// Any value with nlohmann to_json/from_json that is not text or bytes: those have their own
// overloads, and storing them as JSON would quietly add quotes around a token.
template<typename T>
concept KeychainRecord = std::is_class_v<T> && !std::is_convertible_v<const T &, QString> &&
                         !std::is_convertible_v<const T &, QByteArray> &&
                         !std::is_convertible_v<const T &, std::string_view> &&
                         (std::is_constructible_v<nlohmann::ordered_json, const T &> ||
                          std::is_constructible_v<nlohmann::json, const T &>);

// The small per-key file store for the sign-in state: one file per KeychainKey, named by its raw
// value, in an owner-only folder. Callers on the main thread await each operation; the operations
// themselves run one at a time, in the order they were issued, on the store's own thread, so a save
// and a load of the same key never interleave and file input and output never block the interface.
//
// Failures: KeychainError for a missing value and for text that is not UTF-8; FileSystemError for
// the file system's own failures; nlohmann's exceptions for records that do not encode or decode.
class KeychainService
{
public:
    // The instance the application's owner made.
    static KeychainService &shared();
    // The user's data folder (XDG_DATA_HOME, normally ~/.local/share) joined with the store's own.
    static QString defaultStorageDirectory();

    // Creates the folder if needed. A failure is not reported here: the first save reports it.
    explicit KeychainService(QString storageDirectory = defaultStorageDirectory());
    // Waits for operations already issued.
    ~KeychainService();
    KeychainService(const KeychainService &) = delete;
    KeychainService &operator=(const KeychainService &) = delete;

    const QString &storageDirectory() const { return directory; }
    QString filePath(KeychainKey key) const;

    QCoro::Task<> save(QByteArray data, KeychainKey key);
    // Throws KeychainError::encodingFailed when the text holds an unpaired UTF-16 surrogate,
    // which has no UTF-8 form.
    QCoro::Task<> save(QString string, KeychainKey key);
    // Stored as compact JSON.
    template<KeychainRecord Record> QCoro::Task<> save(Record record, KeychainKey key);

    // Throws KeychainError::loadFailed(-25300) when the key has no file.
    QCoro::Task<QByteArray> load(KeychainKey key);
    // As load, and KeychainError::decodingFailed when the bytes are not valid UTF-8.
    QCoro::Task<QString> loadString(KeychainKey key);
    // As load; a file that is not JSON of the record throws nlohmann's own error.
    template<KeychainRecord Record> QCoro::Task<Record> load(KeychainKey key);

    // Removing a key that was never saved succeeds.
    QCoro::Task<> remove(KeychainKey key);
    // Removes every key it can and never fails: sign-out must not be blocked by one stuck file.
    QCoro::Task<> deleteAll();
    // True when anything at all is at the key's path.
    QCoro::Task<bool> exists(KeychainKey key);

private:
    template<typename Record>
    using RecordJson =
        std::conditional_t<std::is_constructible_v<nlohmann::ordered_json, const Record &>,
                           nlohmann::ordered_json, nlohmann::json>;

    static QByteArray encode(const QString &string);
    static QString decode(const QByteArray &bytes);
    static void write(const QString &path, const QByteArray &bytes);
    static QByteArray read(const QString &path);

    // Runs work on the store's thread after everything issued before it; its result or exception
    // comes back to the awaiting coroutine on the caller's thread.
    template<typename Work> QCoro::Task<std::invoke_result_t<Work>> perform(Work work);
    QFuture<void> enqueue(std::function<void()> job);

    QString directory;
    // Declared last so that it is destroyed first, draining the queue while the rest still exists.
    QThreadPool queue;
};

template<KeychainRecord Record> QCoro::Task<> KeychainService::save(Record record, KeychainKey key)
{
    return perform([record = std::move(record), path = filePath(key)] {
        const std::string json = RecordJson<Record>(record).dump();
        write(path, QByteArray::fromStdString(json));
    });
}

template<KeychainRecord Record> QCoro::Task<Record> KeychainService::load(KeychainKey key)
{
    return perform([path = filePath(key)] {
        const QByteArray bytes = read(path);
        return RecordJson<Record>::parse(bytes.cbegin(), bytes.cend()).template get<Record>();
    });
}

template<typename Work> QCoro::Task<std::invoke_result_t<Work>> KeychainService::perform(Work work)
{
    using Result = std::invoke_result_t<Work>;
    // Both live in this coroutine's frame, which outlives the job: a task that is dropped unawaited
    // still runs to its end.
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        co_await enqueue([&work, &failure] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
    } else {
        std::optional<Result> result;
        co_await enqueue([&work, &failure, &result] {
            try {
                result.emplace(work());
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure)
            std::rethrow_exception(failure);
        co_return std::move(*result);
    }
}
