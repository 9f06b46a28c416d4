#include "font_warm_up.h"

#include <fontconfig/fontconfig.h>

namespace vantrel {
namespace {

// Matches `family` as Qt matches a font asked for by name: the
// configuration's substitutions and the defaults, then the best face.
void ResolveFace(const std::string& family) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* face = FcFontMatch(nullptr, pattern, &result)) FcPatternDestroy(face);
    FcPatternDestroy(pattern);
}

} // namespace

FontWarmUp::FontWarmUp(std::string family)
    : m_thread([family = std::move(family)] {
          if (FcInit()) ResolveFace(family);
      }) {}

FontWarmUp::~FontWarmUp() { m_thread.join(); }

} // namespace vantrel
