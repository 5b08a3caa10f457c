#pragma once

#include <typeinfo>

namespace quarn {

// The plug-in as a T when it is exactly a T, else null. The solver tells its
// standard plug-ins apart only this way: a subclass may change what T's
// shortcuts and hand-over assume, so it is treated like any other plug-in.
template <class T, class Base>
T* ExactPlugin(Base* plugin) {
  return plugin != nullptr && typeid(*plugin) == typeid(T) ? static_cast<T*>(plugin) : nullptr;
}

template <class T, class Base>
const T* ExactPlugin(const Base* plugin) {
  return plugin != nullptr && typeid(*plugin) == typeid(T) ? static_cast<const T*>(plugin)
                                                           : nullptr;
}

}  // namespace quarn
