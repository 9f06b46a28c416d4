#include "mci_send_string.h"

#include "mci_error.h"
#include "media_control.h"
#include "media_reply.h"
#include "runtime.h"

namespace vantrel {

uint32_t mciSendStringA(Runtime& runtime, const char* command, char* returnString, uint32_t returnLength,
                        void* /*hwndCallback*/) {
    if (runtime.Monitor().ShouldFail(Service::MediaCommand)) {
        MediaReply(returnString, returnLength).Clear();
        return mci::kHardware;
    }
    return runtime.Media().Send(command, returnString, returnLength);
}

} // namespace vantrel
