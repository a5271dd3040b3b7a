#pragma once

class QQmlEngine;

// What every QML engine that builds our screens needs, in the application and in the tests
// alike: the module's import path, and a network that serves local resources only.
namespace ViewEngine {

// Call before the engine loads anything.
void prepare(QQmlEngine &engine);

} // namespace ViewEngine
