#pragma once

#include <string>

#include "vexo/j2534.h"

namespace vexo::e2e {

// The fourteen functions of the shipped library, resolved by name as an application does, in the
// layout this suite was compiled for.
struct PassThruLibrary : J2534_FUNCTIONS {
    // Why loading failed; empty when every function was found.
    std::string error;
};

// Loads the library once per process (see test_process.h): the path in VEXO_E2E_LIBRARY if set,
// else the one this test was built against.
const PassThruLibrary& passthru_library();

}  // namespace vexo::e2e
