#pragma once

#include <cstddef>
#include <string>
#include <typeinfo>

#include <pybind11/pybind11.h>

namespace quarn::bindings {

// `Cls.__new__(Cls)` makes an object whose __init__ never ran. pybind11 meets
// its missing value on first use and, unless the type says how to allocate one,
// hands the method raw storage that no constructor has touched: fields read
// garbage, and a Problem or Solver method crashes. Hooking that allocation is
// the one place every method, property and argument passes through, so the
// hook refuses with TypeError instead. (A proper __init__ never allocates
// there, and views into other objects carry their own value.)
template <typename T>
void* RefuseUninitialised(std::size_t) {
  const pybind11::detail::type_info* info = pybind11::detail::get_type_info(typeid(T));
  const std::string name = info != nullptr ? info->type->tp_name : typeid(T).name();
  throw pybind11::type_error(name + " object is not initialised: __init__ was never called");
}

// Installs the refusal for the bound class `T`; call after its py::class_ exists.
template <typename T>
void GuardUninitialised() {
  pybind11::detail::get_type_info(typeid(T), /*throw_if_missing=*/true)->operator_new =
      &RefuseUninitialised<T>;
}

}  // namespace quarn::bindings
