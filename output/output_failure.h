// What the output module's two files share inside it: filling in a
// failure, and naming a file in a folder for messages.
#ifndef OUTPUT_OUTPUT_FAILURE_H
#define OUTPUT_OUTPUT_FAILURE_H

#include <string>

#include "output_target.h"

// Fills *error and returns false, so that a failing step can end with
// `return fail(...)`.
inline bool fail(OutputError *error, OutputFailure failure, int systemError, const std::string &reason) {
    error->failure = failure;
    error->systemError = systemError;
    error->reason = reason;
    return false;
}

// `name` in `folder` as a path; `name` alone when `folder` is "" (the
// working folder).
inline std::string joined(const std::string &folder, const std::string &name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

#endif
