// Whole frames of the bundled demo, scaled up to 1920x1080 and 3840x2160 with its strokes
// scaled alike, rendered through the effect's own entry point; every pipeline stage is
// reported in Mpixel/s from the pipeline's own stage clock. Cold frames move a stroke between
// renders, so the labels spread afresh every time; warm frames change a colour setting between
// renders of one still frame, as while a slider is dragged, and reuse the kept label map and
// blend.
#include "cli/ImageIO.h"
#include "effect/Command.h"
#include "headless/LayerMasks.h"
#include "headless/Scene.h"
#include "headless/Worlds.h"
#include "render/ParamLayout.h"
#include "render/Pipeline.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

namespace {

struct StageTotals : PipelineObserver {
    std::map<std::string, double> ms;
    int mapsReused = 0;
    int blendsReused = 0;
    void stageTime(const char* stage, double t) override { ms[stage] += t; }
    void labelsReused(bool r) override { mapsReused += r ? 1 : 0; }
    void blendReused(bool r) override { blendsReused += r ? 1 : 0; }
};

// Bilinear enlargement of the demo photograph (8-bit, host layout).
std::unique_ptr<headless::HostWorld> scaledDemo(int w, int h) {
    static const zpcli::Picture demo =
        zpcli::readPicture(std::string(ZP_SOURCE_DIR) + "/examples/astronaut.png", 8);
    const headless::HostWorld& src = *demo.world;
    auto out = std::make_unique<headless::HostWorld>(w, h, 1, 0, 0);
    for (int y = 0; y < h; ++y) {
        const float fy = (static_cast<float>(y) + 0.5f) * src.height() / h - 0.5f;
        const int y0 = std::max(0, std::min(src.height() - 2, static_cast<int>(fy)));
        const float ty = std::min(1.0f, std::max(0.0f, fy - static_cast<float>(y0)));
        for (int x = 0; x < w; ++x) {
            const float fx = (static_cast<float>(x) + 0.5f) * src.width() / w - 0.5f;
            const int x0 = std::max(0, std::min(src.width() - 2, static_cast<int>(fx)));
            const float tx = std::min(1.0f, std::max(0.0f, fx - static_cast<float>(x0)));
            auto at = [&](int xx, int yy, int c) {
                return static_cast<float>(
                    const_cast<headless::HostWorld&>(src).pixel<uint8_t>(xx, yy)[c]);
            };
            for (int c = 0; c < 4; ++c) {
                const float top = at(x0, y0, c) * (1 - tx) + at(x0 + 1, y0, c) * tx;
                const float bot = at(x0, y0 + 1, c) * (1 - tx) + at(x0 + 1, y0 + 1, c) * tx;
                out->pixel<uint8_t>(x, y)[c] = static_cast<uint8_t>(top * (1 - ty) + bot * ty);
            }
        }
    }
    return out;
}

void BM_DemoFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const bool effects = state.range(2) != 0;
    const bool warm = state.range(3) != 0;
    auto input = scaledDemo(w, h);
    headless::HostWorld output(w, h, 1, 0, 0);

    headless::Host host(headless::Plugin::fromCommand(&command));
    if (host.setupInstance() != PF_Err_NONE) {
        state.SkipWithError("setup failed");
        return;
    }
    headless::loadSceneFile(std::string(ZP_SOURCE_DIR) + "/examples/demo-scene.json", host);
    // The scene's strokes are drawn on the 512x512 photograph; stretch them with it.
    for (headless::HostMask& m : host.extension<headless::LayerMasks>().masks) {
        for (AEGP_MaskVertex& v : m.vertices) {
            v.x *= w / 512.0;
            v.y *= h / 512.0;
        }
    }
    if (!effects) {
        for (int g = 0; g < params::kAdjustGroups; ++g)
            host.setSlider(params::adjustSlider(g, params::kEffects), 0);
    }
    host.inData().height = h;

    auto& protocol = host.extension<headless::RenderProtocol>();
    // Frames before timing: the warm frames then find the map, and the host's memory is warmed
    // up as in a session. A cold frame makes its map while the last one is still kept, so two
    // sets of blocks take turns; both are touched before timing.
    AEGP_MaskVertex& moved = host.extension<headless::LayerMasks>().masks.front().vertices.front();
    for (int i = 0; i < 2; ++i) {
        moved.x += i == 0 ? 1.0 : -1.0;
        if (protocol.renderSmart(*input, output, 8) != PF_Err_NONE) {
            state.SkipWithError("render failed");
            return;
        }
    }
    StageTotals totals;
    setPipelineObserver(&totals);
    const int hue = params::adjustSlider(0, params::kHue);
    double hueValue = host.param(hue).u.fs_d.value;
    bool away = false;
    for (auto _ : state) {
        if (warm) {
            hueValue = hueValue > 0 ? hueValue - 7 : hueValue + 7;
            host.setSlider(hue, hueValue);
        } else {
            // A stroke moved by a pixel and back: the labels spread afresh every frame, and
            // what the frame keeps for the next is made and counted as in a session.
            away = !away;
            moved.x += away ? 1.0 : -1.0;
        }
        if (protocol.renderSmart(*input, output, 8) != PF_Err_NONE) {
            state.SkipWithError("render failed");
            break;
        }
    }
    setPipelineObserver(nullptr);
    host.teardownInstance();

    const double frames = static_cast<double>(state.iterations());
    const double mpix = static_cast<double>(w) * h / 1e6;
    for (const auto& [stage, ms] : totals.ms) {
        const double perFrame = ms / frames;
        state.counters[stage + "_ms"] = perFrame;
        state.counters[stage + "_Mpix/s"] = perFrame > 0 ? mpix / (perFrame / 1000.0) : 0.0;
    }
    state.counters["maps_reused"] = totals.mapsReused / frames;
    state.counters["blends_reused"] = totals.blendsReused / frames;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w) * h);
}

// Arguments: width, height, effects on, warm.
BENCHMARK(BM_DemoFrame)
    ->Args({1920, 1080, 0, 0})
    ->Args({1920, 1080, 0, 1})
    ->Args({1920, 1080, 1, 0})
    ->Args({3840, 2160, 0, 0})
    ->Args({3840, 2160, 0, 1})
    ->Args({3840, 2160, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
