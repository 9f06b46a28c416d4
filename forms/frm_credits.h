#pragma once

#include "form.h"
#include "frm_display.h"
#include "music_loop.h"

namespace vantrel {

// The scene: the start-up form that holds the credit lines as labels (the
// roll's model), the three timers that drive the program and the surface
// that carries the circle backdrop. Once activated it hides itself for
// good; the user only ever sees the display window it composes frames on.
//
// Each handler runs its body under its own failure trap, named after it;
// tmrCircle_Timer's whole body is DrawRandomCircles, which traps itself.
class FrmCredits final : public Form {
public:
    explicit FrmCredits(Runtime& runtime);

    FrmDisplay& Display() { return m_display; }
    const MusicLoop& Music() const { return m_music; }

protected:
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Activate() override;
    void Form_Unload(int& cancel) override;

private:
    void tmrScroll_Timer();
    void tmrCircle_Timer();
    void tmrReplay_Timer();

    MusicLoop m_music;
    // Built after this form's Form part, which is all the display keeps of it.
    FrmDisplay m_display;
};

} // namespace vantrel
