// One deterministic frame rendered by both the Linux build and the Windows build, so that the
// two can be compared pixel for pixel: a 64x48 picture, its masks and the parameter values.
// Header-only on purpose: the native tests and the cross-built Windows test host compile
// exactly this file, with nothing else of the test support that only exists natively.
//
// The picture is built from integers in 16-bit units (32768 = full) and converted to each depth
// without any rounding that could depend on the platform: 8-bit is value * 255 / 32768
// truncated, float is value / 32768 (exact, a power of two). Only the float picture carries a
// few values above 1.0, which the integer depths cannot hold.
#pragma once

#include "headless/Host.h"
#include "headless/LayerMasks.h"
#include "headless/Worlds.h"
#include "render/ParamLayout.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace crossrender {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
// The depths rendered, in bits per channel (32 means float).
constexpr int kBitdepths[] = {8, 16, 32};

// The file name under which the Windows build leaves its render of one depth: the packed
// output pixels (alpha, red, green, blue per pixel, rows top to bottom, little-endian).
inline std::string outputFileName(int bitdepth) {
    return "win-out-" + std::to_string(bitdepth) + ".bin";
}

inline std::size_t outputBytes(int bitdepth) {
    return static_cast<std::size_t>(kWidth) * kHeight * 4 * static_cast<std::size_t>(bitdepth / 8);
}

// Channel values of the picture at (x, y) in 16-bit units, alpha first. Flat blocks and hard
// edges for the propagation to stop at, ramps and a little texture so the corrections vary,
// some alpha 0 and some partial alpha.
inline void scenePixel16(int x, int y, int32_t v[4]) {
    const int32_t texture = ((x * 13 + y * 7) % 17) * 90;
    const int32_t alpha = (x * 7 + y * 3) % 23 == 0 ? 0 : 32768 - ((x * 5 + y) % 9) * 2048;
    const int32_t red = (x < kWidth / 2 ? 5000 : 21000) + y * 180 + texture;
    const int32_t green = (y < kHeight / 2 ? 9000 : 25000) - x * 70 + texture / 2;
    const int32_t blue = x + y < kWidth ? 4000 + x * 120 : 30000 - y * 90;
    v[0] = alpha;
    v[1] = red;
    v[2] = green;
    v[3] = blue;
    for (int c = 0; c < 4; ++c)
        v[c] = v[c] < 0 ? 0 : (v[c] > 32768 ? 32768 : v[c]);
}

// Paints the picture into a world of any depth.
inline void paintScene(headless::HostWorld& w) {
    for (int y = 0; y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x) {
            int32_t v[4];
            scenePixel16(x, y, v);
            // Highlights above white in the lower right corner, for float only.
            const bool hot = x >= kWidth - 8 && y >= kHeight - 8;
            for (int c = 0; c < 4; ++c) {
                switch (w.bytesPerChannel()) {
                case 1:
                    w.pixel<uint8_t>(x, y)[c] = static_cast<uint8_t>(v[c] * 255 / 32768);
                    break;
                case 2:
                    w.pixel<uint16_t>(x, y)[c] = static_cast<uint16_t>(v[c]);
                    break;
                default:
                    w.pixel<float>(x, y)[c] =
                        static_cast<float>(v[c]) / 32768.0f * (hot && c > 0 ? 1.5f : 1.0f);
                    break;
                }
            }
        }
    }
}

// A closed mask with four corners and straight sides, in layer pixels.
inline headless::HostMask rectangle(const std::string& name, double x0, double y0, double x1,
                                    double y1) {
    headless::HostMask m;
    m.name = name;
    m.closed = true;
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
        AEGP_MaskVertex v{};
        v.x = x;
        v.y = y;
        m.vertices.push_back(v);
    }
    return m;
}

// The layer's masks. Path identifiers are 1-based positions in this list; "Link Masks" keeps
// its default (by name), so "Warm" also acts through "Warm 2".
inline std::vector<headless::HostMask> sceneMasks() {
    std::vector<headless::HostMask> masks;
    masks.push_back(rectangle("Warm", 4, 4, 24, 20));   // 1: adjust group 1
    masks.push_back(rectangle("Cool", 40, 6, 60, 22));  // 2: adjust group 2, colorize slot 2
    masks.push_back(rectangle("Glow", 20, 28, 44, 44)); // 3: adjust group 3, with effects
    // 4: a curved open stroke for colorize slot 1.
    headless::HostMask tint;
    tint.name = "Tint";
    tint.closed = false;
    AEGP_MaskVertex a{}, b{};
    a.x = 6;
    a.y = 42;
    a.tan_out_x = 8;
    a.tan_out_y = -14;
    b.x = 16;
    b.y = 26;
    b.tan_in_x = -6;
    b.tan_in_y = 4;
    tint.vertices = {a, b};
    masks.push_back(tint);
    masks.push_back(rectangle("Warm 2", 50, 32, 58, 40)); // 5: linked to group 1 by name
    masks.push_back(rectangle("Unused", 28, 10, 34, 16)); // 6: chosen by no group
    return masks;
}

// Gives the host the scene's masks and parameter values (after parameter setup).
inline void applyScene(headless::Host& host) {
    // The layer's size: the blur and glow radii are fractions of its height.
    host.inData().width = kWidth;
    host.inData().height = kHeight;
    host.extension<headless::LayerMasks>().masks = sceneMasks();
    using namespace params;
    const auto slider = [&](int group, AdjustSlider s, double v) {
        host.setSlider(adjustSlider(group, s), v);
    };
    host.setPath(adjustMask(0), 1);
    slider(0, kHue, 20);
    slider(0, kSaturation, 30);
    slider(0, kBrightness, 10);
    slider(0, kRed, 15);
    slider(0, kTemperature, 40);

    host.setPath(adjustMask(1), 2);
    slider(1, kHue, -40);
    slider(1, kContrast, 35);
    slider(1, kGamma, -20);
    slider(1, kBlue, 25);
    slider(1, kCyanMagenta, -30);

    host.setPath(adjustMask(2), 3);
    slider(2, kBrightness, -15);
    slider(2, kSaturation, -25);
    slider(2, kGreen, 20);
    slider(2, kEffects, 80);

    host.setPath(colorizeMask(0), 4);
    host.setColor(colorizeColor(0), PF_Pixel{255, 200, 60, 220});
    host.setSlider(colorizeOpacity(0), 70);
    host.setPath(colorizeMask(1), 2);
    host.setColor(colorizeColor(1), PF_Pixel{255, 40, 220, 90});
    host.setSlider(colorizeOpacity(1), 35);

    host.setSlider(kBlurAmount, 6);
    host.setSlider(kFillBrightness, 120);
    host.setSlider(kFillPosition, 30);
    host.setSlider(kFillRange, 60);
    host.setSlider(kGlowAmount, 150);
    host.setSlider(kGlowBlur, 15);
    host.setColor(kGlowColor, PF_Pixel{255, 255, 220, 160});
    host.setPopup(kGlowBlend, kBlendScreen);
}

struct SceneRender {
    PF_Err err = PF_Err_NONE;
    bool canariesIntact = false;
    std::vector<uint8_t> input;  // packed pixels of the picture as handed over
    std::vector<uint8_t> output; // packed pixels the effect wrote
};

// Smart pre-render and smart render of the picture at `bitdepth` with whatever masks and
// parameters the host holds (applyScene for the shared scene). The output world starts as
// junk and has padded rows, so that both builds also prove they write every pixel and stay
// inside the rows.
inline SceneRender renderScene(headless::Host& host, int bitdepth) {
    const int bpc = bitdepth / 8;
    headless::HostWorld in(kWidth, kHeight, bpc);
    paintScene(in);
    headless::HostWorld out(kWidth, kHeight, bpc, kWidth * 4 * bpc + 12);
    out.fillBytes(0xA7);
    SceneRender r;
    r.err = host.extension<headless::RenderProtocol>().renderSmart(in, out, bitdepth);
    r.canariesIntact = in.canariesIntact() && out.canariesIntact();
    r.input = in.packedPixels();
    r.output = out.packedPixels();
    return r;
}

} // namespace crossrender
