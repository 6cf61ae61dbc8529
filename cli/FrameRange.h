// The frames of a shot as `--frames` names them: "1001-1100", "1-100x5" (every fifth frame from
// the first), "1,5,10-20", or any mix of these separated by commas.
#pragma once

#include <string>
#include <vector>

namespace zpcli {

// More frames than this in one run are refused before any list is made, so a mistyped range
// can't take gigabytes.
inline constexpr int kMaxFrames = 1000000;
// Frame numbers lie in -kMaxFrameNumber..kMaxFrameNumber (nine digits).
inline constexpr int kMaxFrameNumber = 999999999;

// The frames in ascending order, each once. Items are N, A-B and A-BxS with A <= B and S >= 1;
// a frame number is whole, optionally negative ("-10--1" is -10 to -1). Throws UsageError naming
// the item and what is wrong with it.
std::vector<int> parseFrameRange(const std::string& text);

} // namespace zpcli
