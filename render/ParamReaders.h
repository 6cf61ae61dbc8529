// Reading a group's parameters at the frame's time into its colour engine.
#pragma once

#include "host/HostApi.h"

class ColorAdjuster;

// Loads "Adjust" group g (0..9): tint neutral (1.0), then "Hue" / 360 and the other ten
// sliders / 100, each narrowed to float before dividing.
void readAdjustGroup(PF_InData* in_data, int g, ColorAdjuster& adjuster);

// Loads colorize slot k (0..19): its colour (8-bit channels / 255) and opacity / 100 into the
// tint fields; the tone fields and effects weight keep the adjuster's current values, so a
// slot sharing an adjust group's mask tints on top of that group's correction.
void readColorizeSlot(PF_InData* in_data, int k, ColorAdjuster& adjuster);

// One parameter record reused for every read of a call, cleared before each checkout: a
// failed checkout gives the parameter's zero value (no mask, slider 0), never the value of the
// parameter read before it.
class ParamReader {
public:
    explicit ParamReader(PF_InData* in_data);
    const PF_ParamDef& read(int index);
    float slider(int index) { return static_cast<float>(read(index).u.fs_d.value); }
    PF_PathID path(int index) { return read(index).u.path_d.path_id; }
    A_long popup(int index) { return read(index).u.pd.value; }
    PF_Pixel color(int index) { return read(index).u.cd.value; }

private:
    PF_InData* in_;
    PF_ParamDef def_;
};
