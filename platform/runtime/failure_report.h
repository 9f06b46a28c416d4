#pragma once

#include "runtime.h"
#include "runtime_error.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace vantrel {

// The text of a failure report:
// "Unexpected error in procedure: <name>\r\nError #<number>: <description>".
std::string FailureMessage(std::string_view procedure, int32_t number, const std::string& description);

// Shows the report of a trapped failure and returns when it is dismissed.
// A report that itself fails is written to stderr instead; it is never
// trapped a second time.
void ReportFailure(Runtime& runtime, std::string_view procedure, const RuntimeError& failure);

// Runs a procedure's body under its failure trap: a failure ends the body at
// the failing statement, is reported under the procedure's name, and the
// procedure returns normally. What the body changed before the failure
// stays changed.
template <typename Body>
void Trapped(Runtime& runtime, std::string_view procedure, Body&& body) {
    try {
        body();
    } catch (const RuntimeError& failure) {
        ReportFailure(runtime, procedure, failure);
    } catch (const std::bad_alloc&) {
        ReportFailure(runtime, procedure, RuntimeError(errors::kOutOfMemory, DescribeError(errors::kOutOfMemory)));
    }
}

} // namespace vantrel
