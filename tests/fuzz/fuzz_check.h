#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

// A broken contract ends the run at once: libFuzzer records the input as a
// crash, and the corpus replay fails its test.
#define FUZZ_CHECK(condition, context)                                                                       \
    do {                                                                                                     \
        if (condition) break;                                                                                \
        std::fprintf(stderr, "%s:%d: contract broken: %s\n  while: %s\n", __FILE__, __LINE__, #condition, \
                     std::string(context).c_str());                                                          \
        std::abort();                                                                                        \
    } while (false)
