#include "identity/KeychainService.h"

#include "identity/KeychainError.h"
#include "identity/SecureFile.h"
#include "model/SharedInstance.h"
#include "model/Utf8Text.h"

#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr auto storeFolder = "com.kolvane.vessa-mac/secure";

} // namespace

KeychainService &KeychainService::shared()
{
    return SharedInstance<KeychainService>::get();
}

QString KeychainService::defaultStorageDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + '/' +
           QLatin1String(storeFolder);
}

KeychainService::KeychainService(QString storageDirectory)
    : directory(std::move(storageDirectory))
{
    // Serial and never retired: one thread, kept for the life of the store.
    queue.setMaxThreadCount(1);
    queue.setExpiryTimeout(-1);
    // A folder that cannot be created is not an error yet: the first save reports it, as the file
    // system's own error, and loads meanwhile find no values.
    SecureFile::createPrivateDirectory(directory);
}

KeychainService::~KeychainService() = default;

QString KeychainService::filePath(KeychainKey key) const
{
    const std::string_view name = rawValue(key);
    return directory + '/' + QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
}

QCoro::Task<> KeychainService::save(QByteArray data, KeychainKey key)
{
    return perform([data = std::move(data), path = filePath(key)] { write(path, data); });
}

QCoro::Task<> KeychainService::save(QString string, KeychainKey key)
{
    return perform(
        [string = std::move(string), path = filePath(key)] { write(path, encode(string)); });
}

QCoro::Task<QByteArray> KeychainService::load(KeychainKey key)
{
    return perform([path = filePath(key)] { return read(path); });
}

QCoro::Task<QString> KeychainService::loadString(KeychainKey key)
{
    return perform([path = filePath(key)] { return decode(read(path)); });
}

QCoro::Task<> KeychainService::remove(KeychainKey key)
{
    return perform([path = filePath(key)] { SecureFile::remove(path); });
}

QCoro::Task<> KeychainService::deleteAll()
{
    QStringList paths;
    for (KeychainKey key : allKeychainKeys)
        paths.append(filePath(key));
    return perform([paths = std::move(paths)] {
        for (const QString &path : paths) {
            try {
                SecureFile::remove(path);
            } catch (const std::exception &) {
                // Carry on: the other keys must still go, and sign-out cannot be refused.
            }
            // A write cut short by a crash may have left a copy of a secret beside the key.
            SecureFile::removeLeftoverTemporaries(path);
        }
    });
}

QCoro::Task<bool> KeychainService::exists(KeychainKey key)
{
    return perform([path = filePath(key)] { return SecureFile::exists(path); });
}

QByteArray KeychainService::encode(const QString &string)
{
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(string);
    if (encoder.hasError())
        throw KeychainError::encodingFailed();
    return bytes;
}

QString KeychainService::decode(const QByteArray &bytes)
{
    // A leading byte-order mark is part of the stored text, not a marker to strip.
    std::optional<QString> string = Utf8Text::decoded(bytes);
    if (!string)
        throw KeychainError::decodingFailed();
    return std::move(*string);
}

void KeychainService::write(const QString &path, const QByteArray &bytes)
{
    SecureFile::writeAtomically(path, bytes);
}

QByteArray KeychainService::read(const QString &path)
{
    std::optional<QByteArray> bytes = SecureFile::read(path);
    if (!bytes)
        throw KeychainError::loadFailed(KeychainError::itemNotFoundStatus);
    return std::move(*bytes);
}

QFuture<void> KeychainService::enqueue(std::function<void()> job)
{
    return QtConcurrent::run(&queue, std::move(job));
}
