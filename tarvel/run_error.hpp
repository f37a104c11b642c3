// The one error type of a tarvel run: an input error that ends the run through
// the main routine's error path (message box, status text, error code -2).
#pragma once

#include <stdexcept>

namespace tarvel {

struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace tarvel
