// The effect's parameter list as the host stores it with projects: indices are a contract.
// Every part of the effect finds a parameter through these names, never through a bare number.
#pragma once

namespace params {

constexpr int kInputLayer = 0;
constexpr int kForceUpdate = 1;

constexpr int kAdjustGroups = 10;
constexpr int kAdjustStride = 14;
constexpr int kAdjustSliders = 11; // "Hue" .. "Effects"

enum AdjustSlider : int {
    kHue = 0,
    kSaturation,
    kBrightness,
    kContrast,
    kGamma,
    kRed,
    kGreen,
    kBlue,
    kTemperature,
    kCyanMagenta,
    kEffects,
};

constexpr int adjustGroupStart(int g) {
    return 2 + kAdjustStride * g;
}
constexpr int adjustMask(int g) {
    return 3 + kAdjustStride * g;
}
constexpr int adjustSlider(int g, int s) {
    return 4 + kAdjustStride * g + s;
}
constexpr int adjustGroupEnd(int g) {
    return 15 + kAdjustStride * g;
}

constexpr int kColorizeStart = 142;
constexpr int kColorizeSlots = 20;
constexpr int colorizeMask(int k) {
    return 143 + 3 * k;
}
constexpr int colorizeColor(int k) {
    return 144 + 3 * k;
}
constexpr int colorizeOpacity(int k) {
    return 145 + 3 * k;
}
constexpr int kColorizeEnd = 203;

constexpr int kBlurStart = 204;
constexpr int kBlurAmount = 205;
constexpr int kBlurEnd = 206;

constexpr int kFillLightStart = 207;
constexpr int kFillBrightness = 208;
constexpr int kFillPosition = 209;
constexpr int kFillRange = 210;
constexpr int kFillLightEnd = 211;

constexpr int kGlowStart = 212;
constexpr int kGlowAmount = 213;
constexpr int kGlowBlur = 214;
constexpr int kGlowColor = 215;
constexpr int kGlowBlend = 216;
constexpr int kGlowPosition = 217;
constexpr int kGlowRange = 218;
constexpr int kGlowEnd = 219;

constexpr int kOptionsStart = 220;
constexpr int kLinkMasks = 221;
constexpr int kOptionsEnd = 222;

constexpr int kNumParams = 223; // the input layer and 222 declared parameters
constexpr int kNumDeclared = 222;

// Popup values are 1-based.
enum GlowBlend : int { kBlendAdd = 1, kBlendNormal = 2, kBlendScreen = 3 };
enum LinkMode : int { kLinkMaskColor = 1, kLinkMaskName = 2 };

// The thirty mask slots of the render state: adjust groups first, then colorize slots.
constexpr int kMaskSlots = kAdjustGroups + kColorizeSlots;
constexpr int colorizeSlotIndex(int k) {
    return kAdjustGroups + k;
}

} // namespace params
