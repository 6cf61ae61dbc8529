// The layer's masks as the render state keeps them: reference counted, so the frame's list
// and every group's linked list can share one object.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Polymorphic base of shared objects: the holder that drops the last reference destroys the
// object through its virtual destructor.
class RefCountBase {
public:
    RefCountBase() = default;
    RefCountBase(const RefCountBase&) = delete;
    RefCountBase& operator=(const RefCountBase&) = delete;
    virtual ~RefCountBase() = default;

    void addRef() { ++refCount_; }
    void releaseRef() {
        if (--refCount_ == 0)
            delete this;
    }
    uint64_t refCount() const { return refCount_; }

private:
    uint64_t refCount_ = 0;
};

// A counted reference to a RefCountBase-derived object.
template <typename T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {
        if (p_)
            p_->addRef();
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() {
        if (p_)
            p_->releaseRef();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// One outline point in layer pixel coordinates at full resolution; tangents are offsets
// from their vertex.
struct MaskVertex {
    double x = 0, y = 0;
    double tan_in_x = 0, tan_in_y = 0;
    double tan_out_x = 0, tan_out_y = 0;
};

class Mask : public RefCountBase {
public:
    std::string name;
    // Path order; a closed outline repeats its first point at the end.
    std::vector<MaskVertex> vertices;
    float opacity = 0;   // 0..100
    float expansion = 0; // pixels
    float color_alpha = 0, color_red = 0, color_green = 0, color_blue = 0;
    int32_t mode = 0;
    uint16_t label = 0; // set by the pipeline: the label of the group that draws the mask
};

using MaskRef = Ref<Mask>;
using MaskList = std::vector<MaskRef>;
