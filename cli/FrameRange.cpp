#include "cli/FrameRange.h"

#include "cli/Commands.h"

#include <algorithm>
#include <cstdint>

namespace zpcli {

namespace {

[[noreturn]] void refuse(const std::string& item, const std::string& why) {
    throw UsageError("--frames: '" + item + "' " + why +
                     "; expected frames like 1001-1100, 1-100x5 or 1,5,10-20");
}

// A frame number at `at` in `item`: an optional minus and up to nine digits. Moves `at` past it.
int64_t number(const std::string& item, size_t& at) {
    const size_t start = at;
    if (at < item.size() && item[at] == '-')
        ++at;
    const size_t digits = at;
    int64_t value = 0;
    while (at < item.size() && item[at] >= '0' && item[at] <= '9') {
        if (at - digits == 9)
            refuse(item, "has a frame number beyond " + std::to_string(kMaxFrameNumber));
        value = value * 10 + (item[at] - '0');
        ++at;
    }
    if (at == digits)
        refuse(item, at < item.size() ? std::string("has '") + item[at] + "' where a number belongs"
                                      : std::string("ends where a number belongs"));
    return item[start] == '-' ? -value : value;
}

} // namespace

std::vector<int> parseFrameRange(const std::string& text) {
    if (text.empty())
        refuse(text, "names no frames");
    std::vector<int> frames;
    size_t begin = 0;
    while (true) {
        const size_t comma = text.find(',', begin);
        const std::string item = text.substr(begin, comma - begin);
        if (item.empty())
            refuse(text, "has an empty item");
        size_t at = 0;
        const int64_t first = number(item, at);
        int64_t last = first;
        int64_t step = 1;
        if (at < item.size() && item[at] == '-') {
            ++at;
            last = number(item, at);
            if (last < first)
                refuse(item, "runs backwards");
            if (at < item.size() && item[at] == 'x') {
                ++at;
                step = number(item, at);
                if (step < 1)
                    refuse(item, "has a step below 1");
            }
        }
        if (at < item.size())
            refuse(item, item[at] == 'x' ? std::string("has a step but no range")
                                         : std::string("has '") + item[at] + "' after a number");

        const int64_t count = (last - first) / step + 1;
        if (count > kMaxFrames)
            refuse(item, "is more than " + std::to_string(kMaxFrames) + " frames");
        for (int64_t f = first; f <= last; f += step)
            frames.push_back(static_cast<int>(f));
        // Duplicates go as they come, so the bound holds for the distinct frames and the list
        // never grows past twice the bound.
        if (frames.size() > static_cast<size_t>(kMaxFrames)) {
            std::sort(frames.begin(), frames.end());
            frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
            if (frames.size() > static_cast<size_t>(kMaxFrames))
                refuse(text, "is more than " + std::to_string(kMaxFrames) + " frames");
        }
        if (comma == std::string::npos)
            break;
        begin = comma + 1;
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

} // namespace zpcli
