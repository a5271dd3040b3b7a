#pragma once

#include <QNetworkAccessManager>

// The network of the views, which have no business with the network: what they show comes with
// the application (qrc:), from a local file or inline (data:). A request for anything else,
// http: and https: above all, fails at once and leaves nothing on the wire. So neither a text
// drawn as markup (an <img> in a name a server sent) nor a view written later can make the client
// fetch from some host.
class LocalOnlyNetworkAccessManager : public QNetworkAccessManager
{
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override;
};
