// The stand-ins are C++ inside, C at their surface: nothing may escape into
// the library's C-style callers. Running out of memory ends the process
// with status 111, as every failed allocation of the library does.
#pragma once

#include <cstdlib>
#include <new>

template <typename Body>
auto posix_noThrow(Body body) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::exit(111);
    }
}
