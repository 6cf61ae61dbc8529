// NumPy pictures in and out of host worlds: H x W (grey), H x W x 1 (grey), 2 (grey + alpha),
// 3 (RGB) or 4 (RGBA) arrays of uint8, uint16 (file values, 65535 full), float32 or float64
// samples, converted exactly as the command line converts files of those channels and sample
// types (cli/SampleConversion.h): grey becomes equal red, green and blue, and float64 is
// narrowed to float32 (rounded to nearest) first, as a float file is read as float32. Called
// with the interpreter lock held.
#pragma once

#include "headless/Worlds.h"

#include <pybind11/numpy.h>

#include <memory>

namespace zppy {

enum class SampleType { U8, U16, F32 };

struct ArrayPicture {
    std::unique_ptr<headless::HostWorld> world;
    SampleType type = SampleType::U8;
    // What comes back: RGB, or RGBA when the input had alpha. The effect colours grey, so a
    // grey picture comes back as RGB, as the command line writes it.
    int channels = 4;
};

// Copies `image` into a world of `depth` bits per channel (8, 16, 32; 0 follows the samples:
// uint8 8, uint16 16, float32 and float64 32). Throws pybind11::type_error for an object that
// is not an array, pybind11::value_error (with a message naming the argument and what is wrong)
// for a shape other than H x W or H x W x 1 to 4, another sample type or byte order, an array
// that is not C-contiguous and aligned, an empty picture, one over 30000 pixels on a side, or a
// depth other than those.
ArrayPicture worldFromArray(const pybind11::handle& image, int depth);

// A new H x W x `channels` array of `type` holding the world's pixels (3 channels drop alpha).
pybind11::array arrayFromWorld(const headless::HostWorld& world, SampleType type, int channels);

} // namespace zppy
