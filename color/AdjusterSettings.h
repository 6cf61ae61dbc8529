// The sixteen factors that drive one zone's colour engine. Every field is a plain factor, not a
// percentage: the readers divide the host's slider values before they get here.
#pragma once

// Field order is part of the contract (the readers and the adjuster walk it as given).
// The defaults are the values at which each stage does nothing.
struct AdjusterSettings {
    // Tint group. Colour channels 0..1 (8-bit colour / 255); opaque white switches the tint off,
    // and so does an amount of 0. tintAmount is the colorize opacity, 0..1.
    float tintAlpha = 1.0f;
    float tintRed = 1.0f;
    float tintGreen = 1.0f;
    float tintBlue = 1.0f;
    float tintAmount = 0.0f;

    // Tone group; all zero switches the hue/saturation and tone stages off.
    float hue = 0.0f;         // turns, -1..1 (slider degrees / 360)
    float saturation = 0.0f;  // -1 greys fully, > 0 boosts
    float brightness = 0.0f;  // v * (brightness + 1)
    float contrast = 0.0f;    // (v - 0.5) * (contrast + 1) + 0.5
    float gamma = 0.0f;       // curve strength -1..1
    float redGain = 0.0f;     // channel factor (gain + 1)
    float greenGain = 0.0f;   //
    float blueGain = 0.0f;    //
    float temperature = 0.0f; // > 0 towards blue, < 0 towards red
    float cyanMagenta = 0.0f; // moves red and green apart, raises blue for either sign

    // Stands alone: the local strength of the global effects, 0..1, stamped into alpha.
    float effects = 0.0f;
};

static_assert(sizeof(AdjusterSettings) == 16 * sizeof(float), "sixteen packed floats");

// Exact comparisons: a stage is rebuilt only when a value really changed.
inline bool sameTint(const AdjusterSettings& a, const AdjusterSettings& b) {
    return a.tintAlpha == b.tintAlpha && a.tintRed == b.tintRed && a.tintGreen == b.tintGreen &&
           a.tintBlue == b.tintBlue && a.tintAmount == b.tintAmount;
}

inline bool sameTone(const AdjusterSettings& a, const AdjusterSettings& b) {
    return a.hue == b.hue && a.saturation == b.saturation && a.brightness == b.brightness &&
           a.contrast == b.contrast && a.gamma == b.gamma && a.redGain == b.redGain &&
           a.greenGain == b.greenGain && a.blueGain == b.blueGain &&
           a.temperature == b.temperature && a.cyanMagenta == b.cyanMagenta;
}

inline bool toneIsNeutral(const AdjusterSettings& s) {
    return s.hue == 0.0f && s.saturation == 0.0f && s.brightness == 0.0f && s.contrast == 0.0f &&
           s.gamma == 0.0f && s.redGain == 0.0f && s.greenGain == 0.0f && s.blueGain == 0.0f &&
           s.temperature == 0.0f && s.cyanMagenta == 0.0f;
}
