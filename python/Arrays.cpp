#include "python/Arrays.h"

#include "cli/ImageIO.h"
#include "cli/SampleConversion.h"

#include <cstdint>
#include <string>

namespace py = pybind11;

namespace zppy {

namespace {

std::string shapeText(const py::array& a) {
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i)
        s += (i ? ", " : "") + std::to_string(a.shape(i));
    return s + (a.ndim() == 1 ? ",)" : ")");
}

template <typename S> bool holds(const py::array& a) {
    // Equivalent types only: a byte-swapped uint16 array is not one of ours.
    return py::isinstance<py::array_t<S>>(a);
}

template <typename S> void copyIn(const py::array& a, int channels, headless::HostWorld& world) {
    zpcli::samplesToWorld(static_cast<const S*>(a.data()), channels, world);
}

template <typename S> py::array copyOut(const headless::HostWorld& world, int channels) {
    py::array_t<S> out({static_cast<py::ssize_t>(world.height()),
                        static_cast<py::ssize_t>(world.width()),
                        static_cast<py::ssize_t>(channels)});
    zpcli::worldToSamples(world, channels, out.mutable_data());
    return out;
}

} // namespace

ArrayPicture worldFromArray(const py::handle& image, int depth) {
    if (!py::isinstance<py::array>(image))
        throw py::type_error("image: expected a NumPy array, got " +
                             std::string(py::str(py::type::handle_of(image).attr("__name__"))));
    py::array a = py::reinterpret_borrow<py::array>(image);
    // H x W is grey, as a one-channel file is.
    const bool flat = a.ndim() == 2;
    if (!flat && (a.ndim() != 3 || a.shape(2) < 1 || a.shape(2) > 4))
        throw py::value_error(
            "image: expected an array of height x width (grey) or height x "
            "width x 1 (grey), 2 (grey + alpha), 3 (RGB) or 4 (RGBA), got shape " +
            shapeText(a));
    ArrayPicture pic;
    const bool wide = holds<double>(a);
    if (holds<uint8_t>(a))
        pic.type = SampleType::U8;
    else if (holds<uint16_t>(a))
        pic.type = SampleType::U16;
    else if (holds<float>(a) || wide)
        pic.type = SampleType::F32;
    else
        throw py::value_error("image: expected uint8, uint16, float32 or float64 samples in native "
                              "byte order, got " +
                              std::string(py::str(a.dtype())));
    if (!(a.flags() & py::array::c_style) ||
        reinterpret_cast<uintptr_t>(a.data()) % static_cast<uintptr_t>(a.itemsize()) != 0)
        throw py::value_error(
            "image: the array's samples are not one aligned, C-contiguous block "
            "(a slice or a transposed view?); pass numpy.ascontiguousarray(image)");
    const py::ssize_t h = a.shape(0);
    const py::ssize_t w = a.shape(1);
    if (w < 1 || h < 1)
        throw py::value_error("image: " + std::to_string(w) + " x " + std::to_string(h) +
                              " pixels; a picture needs at least one");
    if (w > zpcli::kMaxImageSide || h > zpcli::kMaxImageSide)
        throw py::value_error("image: " + std::to_string(w) + " x " + std::to_string(h) +
                              " pixels; at most " + std::to_string(zpcli::kMaxImageSide) +
                              " pixels on a side are supported");
    const int own = pic.type == SampleType::U8 ? 8 : pic.type == SampleType::U16 ? 16 : 32;
    const int worldDepth = depth == 0 ? own : depth;
    if (worldDepth != 8 && worldDepth != 16 && worldDepth != 32)
        throw py::value_error("depth=" + std::to_string(depth) + ": expected 8, 16 or 32");
    // Each double rounded to the nearest float, as NumPy's astype(float32) does; the effect's
    // float worlds hold float32, and a float file is read as float32 too.
    if (wide)
        a = py::array_t<float, py::array::c_style | py::array::forcecast>(a);

    const int channels = flat ? 1 : static_cast<int>(a.shape(2));
    pic.channels = channels == 2 || channels == 4 ? 4 : 3;
    pic.world = std::make_unique<headless::HostWorld>(static_cast<int>(w), static_cast<int>(h),
                                                      worldDepth / 8, 0, 0);
    switch (pic.type) {
    case SampleType::U8:
        copyIn<uint8_t>(a, channels, *pic.world);
        break;
    case SampleType::U16:
        copyIn<uint16_t>(a, channels, *pic.world);
        break;
    case SampleType::F32:
        copyIn<float>(a, channels, *pic.world);
        break;
    }
    return pic;
}

py::array arrayFromWorld(const headless::HostWorld& world, SampleType type, int channels) {
    switch (type) {
    case SampleType::U8:
        return copyOut<uint8_t>(world, channels);
    case SampleType::U16:
        return copyOut<uint16_t>(world, channels);
    case SampleType::F32:
        break;
    }
    return copyOut<float>(world, channels);
}

} // namespace zppy
