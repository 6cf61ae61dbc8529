// Shared pieces of the fuzz targets: reading structured values out of the fuzzer's bytes, an
// effect instance in the headless host, and checks that stop the program (the fuzzer's signal
// of a finding) with a message.
#pragma once

#include "headless/Host.h"
#include "headless/LayerMasks.h"
#include "headless/Worlds.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace fuzz {

// Reads the input front to back; past its end every read gives 0, so any input is a complete
// description.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    // 0 .. n-1 (n >= 1).
    uint32_t below(uint32_t n) { return (n <= 256 ? byte() : u16()) % n; }
    bool flag() { return (byte() & 1) != 0; }
    // lo..hi in 256 steps, both ends reachable.
    double within(double lo, double hi) { return lo + (hi - lo) * byte() / 255.0; }
    // Raw bits: every float, NaN payloads and infinities included.
    float rawFloat();
    size_t left() const { return pos_ < size_ ? size_ - pos_ : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Prints `what` and aborts when `ok` is false.
void check(bool ok, const std::string& what);

// A host for the effect linked into the target, with global and parameter setup done.
std::unique_ptr<headless::Host> newInstance();

// Aborts unless the host holds exactly `handles` live handles (the sequence records) plus the
// blocks of the label maps the live sequences `sequences` keep (locked, and nothing else
// locked), and no parameter checkouts or mask objects.
void checkHoldings(headless::Host& host, int handles, const std::string& when,
                   std::initializer_list<PF_Handle> sequences = {});

// Aborts unless the effect holds no render state and no memory handler.
void checkEffectIdle(const std::string& when);

} // namespace fuzz
