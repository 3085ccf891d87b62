// Built-in option presets ("apre", "vpre", "spre") and the translation of old preset keys.
//
// The table is constant data; the presets' option texts are applied through the generic path of
// `TFFmpegOptions` (see `applyPreset`), and the target presets ("target") live beside them in
// FFmpegPresets.cpp.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One built-in preset: a name and an option text of name=value lines.
struct TOptionsPreset {
    const char* Name;
    const char* Text;
};

inline constexpr int kBuiltinPresetCount = 36;
// The built-in presets, in table order ("libx264-baseline" … "libx264-veryslow_firstpass").
extern const TOptionsPreset kBuiltinPresets[kBuiltinPresetCount];

// The preset whose name equals `name` ignoring ASCII case; null when none.
const TOptionsPreset* FindBuiltinPreset(const std::string& name);

// Norm frame rates of the target presets.
inline constexpr const char* kPalFrameRate = "25";
inline constexpr const char* kNtscFrameRate = "30000/1001";
inline constexpr const char* kFilmFrameRate = "24000/1001";

// Rewrites a parameter that the linked libraries no longer take in its old form into what they
// take now; anything else comes back unchanged as the only pair.
// - "flags2": the tokens mixed_refs, wpred, dct8x8, fastpskip, bpyramid and mbtree become the
//   libx264 options "mixed-refs", "weightb", "8x8dct", "fast-pskip", "b-pyramid" and "mbtree"
//   ("+" → 1, "-" → 0; "b-pyramid" takes "normal"/"none"); other tokens stay in "flags2".
// - "directpred" → "direct-pred".
// - "partitions" in the old flag form ("+parti8x8+partp8x8…") → "partitions=i8x8,p8x8…".
std::vector<std::pair<std::string, std::string>> TranslateLegacyOption(const std::string& name,
                                                                       const std::string& value);
