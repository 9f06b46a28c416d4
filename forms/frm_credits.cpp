#include "frm_credits.h"

#include "circle_backdrop.h"
#include "credits_design.h"
#include "failure_report.h"
#include "frame_composition.h"
#include "roll_layout.h"
#include "scroll_tick.h"

namespace vantrel {

FrmCredits::FrmCredits(Runtime& runtime)
    : Form(runtime, CreditsDesign()), m_music(runtime), m_display(runtime, *this) {
    HandleTimer("tmrScroll", [this] { tmrScroll_Timer(); });
    HandleTimer("tmrCircle", [this] { tmrCircle_Timer(); });
    HandleTimer("tmrReplay", [this] { tmrReplay_Timer(); });
}

void FrmCredits::Form_Load() {
    Trapped(Services(), "Form_Load", [&] { m_music.OpenAndPlay(); });
}

void FrmCredits::Form_Resize() {
    Trapped(Services(), "Form_Resize", [&] { CentreLabels(*this); });
}

// Builds the scene without interruption: hides it, puts up the display
// window, paints the initial backdrop and lowers the roll below the visible
// area. Running it again does all of it again, on the continuing sequence
// of random draws.
void FrmCredits::Form_Activate() {
    Trapped(Services(), "Form_Activate", [&] {
        SetVisible(false);
        m_display.Load();
        m_display.Show();
        PaintInitialBackdrop(Services(), *this);
        PlaceRollBelowScene(*this);
    });
}

void FrmCredits::Form_Unload(int& cancel) {
    (void)cancel; // the scene never refuses to go
    Trapped(Services(), "Form_Unload", [&] { m_music.StopAndClose(); });
}

void FrmCredits::tmrScroll_Timer() {
    Trapped(Services(), "tmrScroll_Timer", [&] {
        MoveRoll(*this);
        ComposeFrame(*this, m_display);
    });
}

void FrmCredits::tmrCircle_Timer() { DrawRandomCircles(Services(), *this); }

void FrmCredits::tmrReplay_Timer() {
    Trapped(Services(), "tmrReplay_Timer", [&] { m_music.ReplayAtEnd(); });
}

} // namespace vantrel
