#include "render/KeptBlend.h"

#include "color/ColorAdjuster.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

size_t packedRow(const PixelBuffer& b) {
    return static_cast<size_t>(b.width) * static_cast<size_t>(b.bytesPerPixel);
}

// Nine floats a pixel: red, green and blue of three label slots.
constexpr int64_t kSlotBytes = 9 * sizeof(float);

} // namespace

int64_t KeptBlend::bytesFor(int32_t width, int32_t height, int32_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0)
        return 0;
    const int64_t pixels = int64_t{width} * height;
    return pixels * (2 * int64_t{bytesPerPixel} + kSlotBytes);
}

KeptBlend::KeptBlend(const PixelBuffer& output)
    : width_(output.width), height_(output.height), bytesPerPixel_(output.bytesPerPixel) {}

std::unique_ptr<KeptBlend> KeptBlend::make(const PixelBuffer& output,
                                           std::unique_ptr<KeptBlend> recycled) {
    if (output.row0 == nullptr || output.channels != 4 || output.width <= 0 || output.height <= 0)
        return nullptr;
    std::unique_ptr<KeptBlend> kept;
    if (recycled != nullptr && recycled->width_ == output.width &&
        recycled->height_ == output.height && recycled->bytesPerPixel_ == output.bytesPerPixel) {
        kept = std::move(recycled);
        kept->recorded_ = false;
    } else {
        recycled.reset(); // its blocks go back before new ones are asked for
        const int64_t pixels = int64_t{output.width} * output.height;
        const int64_t image = static_cast<int64_t>(packedRow(output)) * output.height;
        if (pixels * kSlotBytes > std::numeric_limits<int32_t>::max() - 8 ||
            image > std::numeric_limits<int32_t>::max() - 8)
            return nullptr;
        kept.reset(new (std::nothrow) KeptBlend(output));
        if (kept == nullptr)
            return nullptr;
        kept->before_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(image)]);
        kept->result_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(image)]);
        kept->slots_.reset(new (std::nothrow) float[static_cast<size_t>(pixels) * 9]);
        if (kept->before_ == nullptr || kept->result_ == nullptr || kept->slots_ == nullptr)
            return nullptr;
    }
    const size_t row = packedRow(output);
    for (int32_t y = 0; y < output.height; ++y)
        std::memcpy(kept->before_.get() + static_cast<size_t>(y) * row, output.row(y), row);
    return kept;
}

KeptBlend::~KeptBlend() = default;

bool KeptBlend::sameOutput(const PixelBuffer& output) const {
    if (output.row0 == nullptr || output.channels != 4 || output.width != width_ ||
        output.height != height_ || output.bytesPerPixel != bytesPerPixel_)
        return false;
    const size_t row = packedRow(output);
    for (int32_t y = 0; y < height_; ++y) {
        if (std::memcmp(before_.get() + static_cast<size_t>(y) * row, output.row(y), row) != 0)
            return false;
    }
    return true;
}

BlendReuse KeptBlend::reuse(const std::vector<ColorAdjuster*>& adjusters,
                            std::array<uint8_t, kLabels>& changed) {
    changed.fill(1);
    if (recorded_) {
        // Label 0 marks no label and is never looked up.
        for (int label = 1; label < kLabels; ++label) {
            const auto entry = static_cast<size_t>(label - 1);
            const ColorAdjuster* now = entry < adjusters.size() ? adjusters[entry] : nullptr;
            const LabelAdjuster& then = labels_[static_cast<size_t>(label)];
            const bool same = now == nullptr
                                  ? !then.present
                                  : then.present && std::memcmp(&now->settings(), &then.settings,
                                                                sizeof(AdjusterSettings)) == 0;
            changed[static_cast<size_t>(label)] = same ? 0 : 1;
        }
    }
    // Until record() confirms the result again, it is not to be trusted: a frame that fails
    // between the blend and record() leaves it marked as unknown rather than wrong.
    recorded_ = false;
    return BlendReuse{result_.get(), slots_.get(), changed.data()};
}

void KeptBlend::record(const std::vector<ColorAdjuster*>& adjusters) {
    for (int label = 1; label < kLabels; ++label) {
        const auto entry = static_cast<size_t>(label - 1);
        const ColorAdjuster* a = entry < adjusters.size() ? adjusters[entry] : nullptr;
        LabelAdjuster& l = labels_[static_cast<size_t>(label)];
        l.present = a != nullptr;
        l.settings = a != nullptr ? a->settings() : AdjusterSettings{};
    }
    recorded_ = true;
}
