#include "ui/ViewEngine.h"

#include "ui/LocalOnlyNetworkAccessManager.h"

#include <QQmlEngine>
#include <QQmlNetworkAccessManagerFactory>
#include <QString>

namespace {

// Makes the network of each thread the engine loads on (its own, the image reader's).
class LocalOnlyNetworkFactory : public QQmlNetworkAccessManagerFactory
{
public:
    QNetworkAccessManager *create(QObject *parent) override
    {
        return new LocalOnlyNetworkAccessManager(parent);
    }
};

} // namespace

namespace ViewEngine {

void prepare(QQmlEngine &engine)
{
    // An engine does not own its factory, which must outlive it: one serves the whole process.
    static LocalOnlyNetworkFactory factory;
    engine.setNetworkAccessManagerFactory(&factory);
    engine.addImportPath(QStringLiteral("qrc:/"));
}

} // namespace ViewEngine
