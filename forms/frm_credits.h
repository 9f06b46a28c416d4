#pragma once

#include "form.h"
#include "music_loop.h"

namespace vantrel {

// The scene: the start-up form that holds the credit lines as labels (the
// roll's model), the three timers that drive the program and the surface
// that carries the circle backdrop. Once activated it hides itself for
// good; the user only ever sees the display window it composes frames on.
class FrmCredits final : public Form {
public:
    // The display is only remembered here; it may not be constructed yet.
    FrmCredits(Runtime& runtime, Form& display);

    const MusicLoop& music() const { return m_music; }

protected:
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Activate() override;
    void Form_Unload(int& cancel) override;

private:
    void tmrScroll_Timer();
    void tmrCircle_Timer();
    void tmrReplay_Timer();

    Form& m_display;
    MusicLoop m_music;
};

} // namespace vantrel
