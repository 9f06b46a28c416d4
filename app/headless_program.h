#pragma once

#include "clock.h"
#include "credits_program.h"
#include "form_host.h"
#include "media_control.h"
#include "message_box.h"

#include <QImage>
#include <QSize>
#include <string>

namespace vantrel {

// The whole program with no display, run on a manual clock: the frames it
// composes are exactly those the window would show, and the same run always
// composes the same frames. The circle ticks and replay polls come at their
// own cadence against a 60 Hz display refresh, as on a desktop.
class SnapshotRun {
public:
    // The music plays silently from applicationPath (failures there only
    // concern the music and are kept, not shown).
    SnapshotRun(QSize clientSize, double devicePixelRatio, std::string applicationPath);

    // Runs until `count` more scroll ticks have composed their frames.
    void RunScrollTicks(int count);

    int scrollTicks() const { return m_scrollTicks; }
    const QImage& frame() const { return m_forms.frmDisplay.surface().image(); }
    FrmCredits& scene() { return m_forms.frmCredits; }

    static constexpr double kRefreshHz = 60.0;

private:
    ManualClock m_clock;
    RecordingMessageBox m_messages;
    HeadlessHostFactory m_hosts;
    MediaControl m_media;
    Runtime m_runtime;
    CreditsForms m_forms;
    int m_scrollTicks = 0;
};

} // namespace vantrel
