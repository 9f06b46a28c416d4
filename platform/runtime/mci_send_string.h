#pragma once

#include <cstdint>

namespace vantrel {

class Runtime;

// Stand-in for the Windows media command call: sends one command text to the
// program's media device (runtime.Media(), see media_control.h) and returns
// 0 or an mci:: error code. When the runtime's service monitor plans this
// use to fail, the command is not carried out, and the call returns a
// non-zero code with no reply text. The callback window is never used
// (the program asks for no notifications).
uint32_t mciSendStringA(Runtime& runtime, const char* command, char* returnString, uint32_t returnLength,
                        void* hwndCallback);

} // namespace vantrel
