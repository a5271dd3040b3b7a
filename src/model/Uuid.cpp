#include "model/Uuid.h"

#include <QUuid>

namespace Uuid {

QString makeString()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace Uuid
