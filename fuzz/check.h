#pragma once

// A failed property check: abort, so that libFuzzer keeps the input that broke it.

#include <cstdlib>

namespace fuzz {

inline void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace fuzz
