#include "cli/FramePattern.h"

#include "cli/Commands.h"

#include <cstdio>

namespace zpcli {

namespace {

// Wider runs of '#' are typos: no frame number has more digits.
constexpr int kMaxWidth = 9;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

FramePattern::FramePattern(const std::string& name, const std::string& option) : text_(name) {
    const auto refuse = [&](const std::string& why) {
        throw UsageError(option + " '" + name + "': " + why);
    };
    std::string* part = &before_;
    for (size_t i = 0; i < name.size();) {
        size_t length = 0;
        int width = 0;
        if (name[i] == '#' || name[i] == '@') {
            // One digit per character, for '@' as for '#' (oiiotool reads one '#' as four).
            while (i + length < name.size() && name[i + length] == name[i])
                ++length;
            width = static_cast<int>(length);
        } else if (name[i] == '%') {
            if (i + 1 < name.size() && name[i + 1] == '%') {
                *part += '%';
                i += 2;
                continue;
            }
            // %d or %0Nd with N from 1 to 9; nothing else printf could make of a frame number
            // belongs in a file name.
            size_t j = i + 1;
            if (j + 1 < name.size() && name[j] == '0' && name[j + 1] >= '1' && name[j + 1] <= '9') {
                width = name[j + 1] - '0';
                j += 2;
            }
            if (j >= name.size() || name[j] != 'd') {
                size_t end = j;
                while (end < name.size() && (isDigit(name[end]) || name[end] == '-' ||
                                             name[end] == '+' || name[end] == ' '))
                    ++end;
                const std::string token = name.substr(i, std::min(end + 1, name.size()) - i);
                refuse("'" + token +
                       "' is not a frame token; use %d, %0Nd (e.g. %04d) or #### (write %% for a "
                       "literal %)");
            }
            length = j + 1 - i;
        } else {
            *part += name[i++];
            continue;
        }
        if (width > kMaxWidth)
            refuse("a frame token pads to at most " + std::to_string(kMaxWidth) + " digits");
        if (hasToken())
            refuse("more than one frame token; a name holds one (#### or %04d)");
        tokenLength_ = length;
        width_ = width;
        part = &after_;
        i += length;
    }
}

std::string FramePattern::expand(int frame) const {
    if (!hasToken())
        return before_;
    char digits[24];
    std::snprintf(digits, sizeof digits, "%0*d", width_, frame);
    return before_ + digits + after_;
}

} // namespace zpcli
