// What the tool shows of a frame besides the rendered image: the pipeline's stage timings,
// its strokes, labels and effects weights, captured through the pipeline observer and turned
// into pictures a person can read.
#pragma once

#include "cli/Commands.h"
#include "headless/Worlds.h"
#include "render/Pipeline.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zpcli {

// Records one frame. With `keepImages` false only the timings are kept.
class FrameCapture : public PipelineObserver {
public:
    explicit FrameCapture(bool keepImages) : keepImages_(keepImages) {}

    void stageTime(const char* stage, double ms) override;
    void strokes(const PixelBuffer& raster) override;
    void labels(const LabelMap& map) override;
    void labelsReused(bool wasReused) override { reused.push_back(wasReused); }
    void blendReused(bool wasReused) override { blendKept.push_back(wasReused); }
    void weights(const PixelBuffer& output) override;

    // Stage name and milliseconds, in the order the stages ran.
    std::vector<std::pair<std::string, double>> times;
    // Per render: whether its label map was the sequence's kept one.
    std::vector<bool> reused;
    // Per render: whether its blend started from the one kept with that map.
    std::vector<bool> blendKept;

    // The label raster: one label (or 0) per pixel, row by row.
    int strokesWidth = 0, strokesHeight = 0;
    std::vector<uint8_t> strokeLabels;
    // The label map's first slot: label (0 for none) and path cost per pixel, row by row.
    int labelsWidth = 0, labelsHeight = 0;
    std::vector<uint16_t> firstLabel, firstCost;
    // The output as it stood before the input's alpha was restored (alpha = effects weight).
    std::unique_ptr<headless::HostWorld> weightsWorld;

private:
    bool keepImages_;
};

// Installs an observer for its lifetime, removing it on every way out.
class ObserverScope {
public:
    explicit ObserverScope(PipelineObserver* observer) { setPipelineObserver(observer); }
    ~ObserverScope() { setPipelineObserver(nullptr); }
    ObserverScope(const ObserverScope&) = delete;
    ObserverScope& operator=(const ObserverScope&) = delete;
};

// The display colour (8-bit red, green, blue) of a label; label 1, the masks no group uses,
// is light grey, every other label gets one of a ring of distinct hues.
std::array<uint8_t, 3> labelColour(int label);

// How bright the labels view paints a pixel reached at path cost `cost`: 1 at the stroke,
// 1/2 at cost 64, falling toward 0 as the cost grows.
float costShade(uint16_t cost);

// Each label's stroke pixels in its colour over the input dimmed to a third. The picture has
// the input's size and depth and full alpha.
std::unique_ptr<headless::HostWorld> makeStrokesView(const headless::HostWorld& input,
                                                     const FrameCapture& capture);
// Each pixel in its first label's colour times costShade of its cost; black without a label.
// `bytesPerChannel` 1, 2 or 4 sets the depth.
std::unique_ptr<headless::HostWorld> makeLabelsView(const FrameCapture& capture,
                                                    int bytesPerChannel);
// The blended effects weight as grey (the captured output's alpha; 0 where the pixel has no
// label), at the captured output's depth, full alpha.
std::unique_ptr<headless::HostWorld> makeWeightsView(const FrameCapture& capture);

// The picture one of the views (not View::Image, which is the rendered output itself) makes of a
// frame rendered from `input` and captured with its images.
std::unique_ptr<headless::HostWorld> makeView(View view, const headless::HostWorld& input,
                                              const FrameCapture& capture);

} // namespace zpcli
