#include "credits_program.h"

namespace vantrel {

void StartUp(Runtime& runtime, CreditsForms& forms) {
    runtime.Timers().Hold();
    struct Release {
        TimerScheduler& timers;
        ~Release() { timers.Release(); }
    } release{runtime.Timers()};
    forms.frmCredits.Load();
    forms.frmCredits.Show();
}

void ShutDown(CreditsForms& forms) {
    forms.frmDisplay.Close();
    forms.frmCredits.Close();
}

} // namespace vantrel
