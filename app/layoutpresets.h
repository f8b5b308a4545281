// The pages-per-sheet presets: the item's text, the count it writes into both grid edits,
// and whether the edits can then be typed into. "Custom" comes last.
#pragma once

struct LayoutPreset
{
    const char *text;
    const char *count;
    bool editable;
};

inline constexpr LayoutPreset kLayoutPresets[] = {
    {"2x2", "2", false}, {"3x3", "3", false}, {"4x4", "4", false}, {"5x5", "5", false}, {"Custom", "", true},
};
