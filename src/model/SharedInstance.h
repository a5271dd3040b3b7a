#pragma once

#include <QtGlobal>
#include <typeinfo>
#include <utility>

// The one instance of T that the application's owner made, for code that reaches it by name
// (T::shared()). The owner registers each instance for exactly as long as it lives, so nothing
// outlives the application or is created behind the owner's back. A registration made while
// another is in force stands in for it until it ends (a test's own instance, for one).
template<typename T> class SharedInstance
{
public:
    explicit SharedInstance(T &instance)
        : previous(std::exchange(current, &instance))
    {}
    ~SharedInstance() { current = previous; }
    SharedInstance(const SharedInstance &) = delete;
    SharedInstance &operator=(const SharedInstance &) = delete;

    static T &get()
    {
        if (current == nullptr)
            qFatal("No shared instance of %s: the application's owner has not made one",
                   typeid(T).name());
        return *current;
    }

private:
    static inline T *current = nullptr;
    T *previous;
};
