// One small frame (up to 64x64) at 8, 16 or 32 bits, plain or smart, with its row layout,
// masks, parameter values, downsampling, origins and pixels all taken from the input. The frame
// must render, stay inside its guarded worlds, leave the input alone, hand back the input's
// alpha, keep 16-bit channels within full, and give every host object back.
#include "fuzz/FuzzSupport.h"
#include "render/ParamLayout.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

namespace {

using headless::HostWorld;

const char* const kNames[] = {"A", "AB", "B", "A1", "", "Sky", "Skyline"};
const double kColors[][3] = {{1, 1, 0}, {0, 0.5, 1}, {1, 1, 0}, {0.25, 0.75, 0.5}};

// A coordinate: mostly near the frame, sometimes far away or not a number at all.
double coordinate(fuzz::Bytes& in) {
    const uint8_t kind = in.byte();
    const double near = static_cast<int8_t>(in.byte()) * 0.75;
    switch (kind % 16) {
    case 0:
        return near * 1e5;
    case 1:
        return (kind & 16) ? std::numeric_limits<double>::infinity()
                           : std::numeric_limits<double>::quiet_NaN();
    case 2:
        return near + in.byte() / 256.0;
    default:
        return near + 32.0;
    }
}

headless::HostMask readMask(fuzz::Bytes& in) {
    headless::HostMask m;
    m.name = kNames[in.below(std::size(kNames))];
    const auto& c = kColors[in.below(std::size(kColors))];
    m.red = c[0];
    m.green = c[1];
    m.blue = c[2];
    m.mode = static_cast<int>(in.below(8));
    m.opacity = in.below(4) == 0 ? 0.0 : in.within(0, 100);
    m.expansion = static_cast<int8_t>(in.byte());
    m.closed = in.flag();
    const uint32_t n = in.below(9);
    for (uint32_t i = 0; i < n; ++i) {
        AEGP_MaskVertex v{};
        v.x = coordinate(in);
        v.y = coordinate(in);
        if (in.below(3) == 0) {
            v.tan_in_x = static_cast<int8_t>(in.byte());
            v.tan_in_y = static_cast<int8_t>(in.byte());
            v.tan_out_x = static_cast<int8_t>(in.byte());
            v.tan_out_y = static_cast<int8_t>(in.byte());
        }
        m.vertices.push_back(v);
    }
    return m;
}

// A slider value inside its declared range; the ends and 0 come up often.
void setSlider(headless::Host& host, int index, fuzz::Bytes& in) {
    const PF_FloatSliderDef& d = host.declared()[static_cast<size_t>(index - 1)].def.u.fs_d;
    const uint8_t pick = in.byte();
    double v = d.valid_min + (d.valid_max - d.valid_min) * pick / 255.0;
    if (pick % 8 == 0)
        v = d.valid_min <= 0 && d.valid_max >= 0 ? 0.0 : d.valid_min;
    host.setSlider(index, v);
}

PF_Pixel color(fuzz::Bytes& in) {
    return PF_Pixel{in.byte(), in.byte(), in.byte(), in.byte()};
}

void readParams(headless::Host& host, fuzz::Bytes& in, int maskCount) {
    const uint32_t groups = in.below(params::kAdjustGroups + 1);
    for (uint32_t g = 0; g < groups; ++g) {
        const int k = static_cast<int>(in.below(params::kAdjustGroups));
        host.setPath(params::adjustMask(k), static_cast<PF_PathID>(in.below(maskCount + 2)));
        const uint32_t sliders = in.below(params::kAdjustSliders + 1);
        for (uint32_t s = 0; s < sliders; ++s)
            setSlider(host,
                      params::adjustSlider(k, static_cast<int>(in.below(params::kAdjustSliders))),
                      in);
    }
    const uint32_t slots = in.below(5);
    for (uint32_t j = 0; j < slots; ++j) {
        const int k = static_cast<int>(in.below(params::kColorizeSlots));
        host.setPath(params::colorizeMask(k), static_cast<PF_PathID>(in.below(maskCount + 2)));
        host.setColor(params::colorizeColor(k), color(in));
        setSlider(host, params::colorizeOpacity(k), in);
    }
    for (int index :
         {params::kBlurAmount, params::kFillBrightness, params::kFillPosition, params::kFillRange,
          params::kGlowAmount, params::kGlowBlur, params::kGlowPosition, params::kGlowRange}) {
        if (in.flag())
            setSlider(host, index, in);
    }
    host.setColor(params::kGlowColor, color(in));
    host.setPopup(params::kGlowBlend, 1 + static_cast<int>(in.below(3)));
    host.setPopup(params::kLinkMasks, 1 + static_cast<int>(in.below(2)));
}

// Pixels from the input: raw float bits, values on the 0..1 scale, or a table of specials.
void readPixels(HostWorld& w, fuzz::Bytes& in) {
    static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     1e30f,
                                     -1e30f,
                                     1e-40f,
                                     -0.25f,
                                     0.0f,
                                     0.5f,
                                     1.0f,
                                     1.5f,
                                     std::numeric_limits<float>::max()};
    const uint8_t mode = in.byte() % 3;
    // The rest of the input is the picture, repeated as often as it takes.
    std::vector<uint8_t> bytes;
    while (in.left() > 0 && bytes.size() < 65536)
        bytes.push_back(in.byte());
    if (bytes.empty())
        bytes.push_back(0x80);
    size_t pos = 0;
    auto next = [&] {
        const uint8_t b = bytes[pos];
        pos = (pos + 1) % bytes.size();
        return b;
    };
    for (int y = 0; y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x) {
            uint8_t* p = w.row(y) + static_cast<size_t>(x) * static_cast<size_t>(w.bytesPerPixel());
            for (int c = 0; c < 4; ++c) {
                if (w.bytesPerChannel() == 1) {
                    p[c] = next();
                } else if (w.bytesPerChannel() == 2) {
                    const auto v = static_cast<uint16_t>((next() | (next() << 8)) % 32769);
                    std::memcpy(p + 2 * c, &v, 2);
                } else {
                    float v;
                    if (mode == 0) {
                        const uint32_t bits = static_cast<uint32_t>(next()) |
                                              static_cast<uint32_t>(next()) << 8 |
                                              static_cast<uint32_t>(next()) << 16 |
                                              static_cast<uint32_t>(next()) << 24;
                        std::memcpy(&v, &bits, 4);
                    } else if (mode == 1) {
                        v = static_cast<float>(next()) / 255.0f;
                    } else {
                        v = kSpecial[next() % std::size(kSpecial)];
                    }
                    std::memcpy(p + 4 * c, &v, 4);
                }
            }
        }
    }
}

// Row bytes for a layout choice: packed, padded, a row and a bit (whole channels), bottom-up.
int rowBytesFor(uint8_t choice, int width, int bpc) {
    const int packed = width * 4 * bpc;
    switch (choice % 5) {
    case 1:
        return packed + 32;
    case 2:
        return packed + 3 * bpc;
    case 3:
        return -packed;
    case 4:
        return -(packed + 5 * bpc);
    default:
        return 0;
    }
}

std::vector<uint8_t> alphas(const HostWorld& w) {
    std::vector<uint8_t> a;
    const auto px = w.packedPixels();
    const size_t bpc = static_cast<size_t>(w.bytesPerChannel());
    for (size_t i = 0; i < px.size(); i += 4 * bpc)
        a.insert(a.end(), px.begin() + static_cast<std::ptrdiff_t>(i),
                 px.begin() + static_cast<std::ptrdiff_t>(i + bpc));
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh instance per input: every input stands alone, and what one input allocates is
    // all given back by its end (the fuzzer then has no reason to look for leaks).
    auto host = fuzz::newInstance();
    headless::Host& h = *host;
    fuzz::Bytes in(data, size);

    static const int kDepths[] = {1, 2, 4};
    const int bpc = kDepths[in.below(3)];
    const bool smart = bpc == 4 || in.flag();
    const int width = 1 + static_cast<int>(in.below(64));
    const int height = 1 + static_cast<int>(in.below(64));
    const int inRow = rowBytesFor(in.byte(), width, bpc);
    const int outRow = rowBytesFor(in.byte(), width, bpc);

    auto& masks = h.extension<headless::LayerMasks>().masks;
    const uint32_t maskCount = in.below(6);
    for (uint32_t i = 0; i < maskCount; ++i)
        masks.push_back(readMask(in));
    readParams(h, in, static_cast<int>(maskCount));

    PF_InData& id = h.inData();
    id.height = static_cast<A_long>(in.below(4) == 0 ? 0 : in.byte());
    const PF_RationalScale scales[] = {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {1, 0}, {-1, 1}};
    id.downsample_x = scales[in.below(std::size(scales))];
    id.downsample_y = scales[in.below(std::size(scales))];
    id.output_origin_x = static_cast<int8_t>(in.byte()) / 4;
    id.output_origin_y = static_cast<int8_t>(in.byte()) / 4;
    auto& protocol = h.extension<headless::RenderProtocol>();
    protocol.useExtentHint = in.below(4) == 0;
    protocol.extentHint = PF_Rect{static_cast<int8_t>(in.byte()), static_cast<int8_t>(in.byte()),
                                  static_cast<int8_t>(in.byte()), static_cast<int8_t>(in.byte())};

    HostWorld input(width, height, bpc, inRow);
    readPixels(input, in);
    HostWorld output(width, height, bpc, outRow);
    output.fillBytes(0xD4);
    const auto before = input.packedPixels();

    fuzz::check(h.send(PF_Cmd_SEQUENCE_SETUP) == PF_Err_NONE, "sequence setup");
    const PF_Err err =
        smart ? protocol.renderSmart(input, output, 8 * bpc) : protocol.renderPlain(input, output);
    fuzz::check(err == PF_Err_NONE, "the render failed with " + std::to_string(err));
    fuzz::check(input.canariesIntact() && output.canariesIntact(), "a write outside the worlds");
    fuzz::check(input.packedPixels() == before, "the input was changed");
    fuzz::checkHoldings(h, 1, "after the render", {h.sequenceHandle()});
    // The input's alpha comes back over the area the command works on: all of the frame
    // unless an extent hint or an output origin narrows or moves it.
    const bool wholeFrame =
        smart ? id.output_origin_x == 0 && id.output_origin_y == 0 : !protocol.useExtentHint;
    if (wholeFrame)
        fuzz::check(alphas(output) == alphas(input), "the input's alpha did not come back");
    if (bpc == 2) {
        const auto px = output.packedPixels();
        for (size_t i = 0; i < px.size(); i += 2) {
            uint16_t v;
            std::memcpy(&v, &px[i], 2);
            fuzz::check(v <= 32768, "a 16-bit channel above full");
        }
    }
    fuzz::check(h.send(PF_Cmd_SEQUENCE_SETDOWN) == PF_Err_NONE, "sequence setdown");
    fuzz::checkHoldings(h, 0, "after setdown");
    fuzz::checkEffectIdle("after setdown");
    fuzz::check(h.send(PF_Cmd_GLOBAL_SETDOWN) == PF_Err_NONE, "global setdown");
    fuzz::check(h.outstandingSuites() == 0, "suites still held after teardown");
    return 0;
}
