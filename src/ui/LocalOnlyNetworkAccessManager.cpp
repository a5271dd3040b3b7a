#include "ui/LocalOnlyNetworkAccessManager.h"

#include <QLatin1StringView>
#include <QMetaObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

namespace {

// The answer to a request that is never sent: it fails as soon as the caller has connected to
// it, as a reply that could not reach its host would.
class RefusedReply : public QNetworkReply
{
public:
    RefusedReply(QNetworkAccessManager::Operation operation, const QNetworkRequest &request,
                 QObject *parent)
        : QNetworkReply(parent)
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(operation);
        open(QIODevice::ReadOnly);
        QMetaObject::invokeMethod(this, &RefusedReply::refuse, Qt::QueuedConnection);
    }

    void abort() override {}

protected:
    qint64 readData(char *, qint64) override { return -1; }

private:
    void refuse()
    {
        setError(ContentAccessDenied,
                 QStringLiteral("The views load nothing from the network: %1")
                     .arg(url().toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
        setFinished(true);
        emit errorOccurred(error());
        emit finished();
    }
};

bool isLocal(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1StringView("qrc") || scheme == QLatin1StringView("file") ||
           scheme == QLatin1StringView("data");
}

} // namespace

QNetworkReply *LocalOnlyNetworkAccessManager::createRequest(Operation operation,
                                                            const QNetworkRequest &request,
                                                            QIODevice *outgoingData)
{
    if (!isLocal(request.url()))
        return new RefusedReply(operation, request, this);
    return QNetworkAccessManager::createRequest(operation, request, outgoingData);
}
