#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::fuzz {

// A broken contract ends the run at once: libFuzzer records the input as a
// crash, and the corpus replay fails its test.
[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& context) {
    std::fprintf(stderr, "%s:%d: contract broken: %s\n  while: %s\n", file, line, condition, context.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace vantrel::fuzz

#define FUZZ_CHECK(condition, context)                                                   \
    do {                                                                                 \
        if (!(condition)) ::vantrel::fuzz::Fail(__FILE__, __LINE__, #condition, (context)); \
    } while (false)
