#include "failure_report.h"

#include <cstdio>
#include <exception>

namespace vantrel {

std::string FailureMessage(std::string_view procedure, int32_t number, const std::string& description) {
    std::string message = "Unexpected error in procedure: ";
    message += procedure;
    message += "\r\nError #";
    message += std::to_string(number);
    message += ": ";
    message += description;
    return message;
}

void ReportFailure(Runtime& runtime, std::string_view procedure, const RuntimeError& failure) {
    const std::string message = FailureMessage(procedure, failure.Number(), failure.Description());
    try {
        runtime.ShowCriticalMessage(message);
    } catch (const std::exception& reportFailure) {
        std::fprintf(stderr, "vantrel-credits: %s (and the report failed: %s)\n", message.c_str(),
                     reportFailure.what());
    }
}

} // namespace vantrel
