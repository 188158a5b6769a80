#pragma once

#include <dlfcn.h>

// The libraries the program loads with dlopen only where it needs them (at
// a terminal), so that piped runs do not pay for loading them.
namespace terminal {

// Sets `function` to the library's function of that name; false where it has none.
template <typename Function>
bool find_function(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace terminal
