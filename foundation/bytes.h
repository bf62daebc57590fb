// Reading a number of the machine's own byte order from bytes that need not
// be aligned (stored records, file images).
#pragma once

#include <cstring>
#include <type_traits>

template <class T> T load_as(const void* p) {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
