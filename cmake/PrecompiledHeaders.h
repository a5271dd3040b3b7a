// Headers that nearly every source of a Qt library includes, parsed once per target instead of
// once per file. A target gets only the ones it can reach.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#if __has_include(<QtQml/qqmlregistration.h>)
#include <QtQml/qqmlregistration.h>
#endif
#if __has_include(<QCoroTask>)
#include <QCoroTask>
#endif
