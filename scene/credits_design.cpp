#include "credits_design.h"

#include "runtime.h"

namespace vantrel {
namespace {

constexpr float kCreditFontPoints = 48.0f;
constexpr int kReplayIntervalMs = 500;
constexpr int kScrollIntervalMs = 1;
constexpr int kCircleIntervalMs = 50;

// One credit line as designed: positions and sizes in twips.
struct CreditLine {
    const char* name;
    const char* caption;
    float left, top, width, height;
    bool heading; // section headings are italic
};

// In control order. The roll's reading order comes from Top alone.
constexpr CreditLine kCreditLines[] = {
    {"Label25", "Belvane", 1440, 23520, 7305, 1290, false},
    {"Label24", "Music", 3000, 17640, 2745, 1110, true},
    {"Label23", "Zarquin - Until the Dub", 2400, 18600, 10680, 1125, false},
    {"Label22", "Vantrel", 960, 29400, 5790, 1125, false},
    {"Label21", "Thank you for using", 960, 28440, 9180, 1125, false},
    {"Label20", "Spanish - Orsolak", 1560, 13320, 10605, 1290, false},
    {"Label19", "Slovak - Drovik", 1560, 12360, 9420, 1290, false},
    {"Label18", "Italian - Pirrasol", 1440, 11400, 12525, 1290, false},
    {"Label17", "www.brakkon.example", 1080, 26400, 10365, 1125, false},
    {"Label16", "www.velmora.example", 1200, 24480, 7200, 1125, false},
    {"Label15", "www.quindle.example", 1200, 25440, 8025, 1125, false},
    {"Label14", "Ulmvesk", 1440, 22560, 6360, 1125, false},
    {"Label13", "English - Orsolak", 1680, 9480, 10335, 1290, false},
    {"Label12", "French - Kwendle", 1800, 10440, 6540, 1290, false},
    {"Label11", "Fennrick", 1440, 21600, 7275, 1125, false},
    {"Label10", "Special Thanks", 2040, 20640, 7035, 1110, true},
    {"Label9", "Translators", 2520, 7560, 5250, 1110, true},
    {"Label8", "Dutch - Tamsker", 1920, 8520, 10050, 1290, false},
    {"Label7", "Orsolak", 2760, 15960, 6165, 1290, false},
    {"Label6", "Artwork", 3360, 15000, 3630, 1110, true},
    {"Label5", "Orsolak", 2160, 5880, 6165, 1290, false},
    {"Label4", "Programming", 2280, 4800, 6255, 1110, true},
    {"Label3", "Orsolak", 2040, 3000, 6165, 1290, false},
    {"Label2", "Production", 2400, 2040, 5070, 1110, true},
    {"Label1", "Vantrel Credits", 480, 480, 9435, 1290, false},
};

LabelDesign ToLabelDesign(const CreditLine& line) {
    LabelDesign label;
    label.name = line.name;
    label.caption = line.caption;
    label.left = line.left;
    label.top = line.top;
    label.width = line.width;
    label.height = line.height;
    label.foreColour = kWhite;
    label.font = FontAttributes{"Arial", kCreditFontPoints, true, line.heading, false, false};
    label.autoSize = true;
    return label;
}

} // namespace

FormDesign CreditsDesign() {
    FormDesign design = MaximizedToolWindowDesign(Runtime::kTitle, 19110, 44160);
    design.controls.emplace_back(TimerDesign{"tmrReplay", kReplayIntervalMs, true});
    design.controls.emplace_back(TimerDesign{"tmrScroll", kScrollIntervalMs, true});
    design.controls.emplace_back(TimerDesign{"tmrCircle", kCircleIntervalMs, true});
    for (const CreditLine& line : kCreditLines) design.controls.emplace_back(ToLabelDesign(line));
    return design;
}

} // namespace vantrel
