// Sequence setup, resetup, flatten and setdown: the life of a RenderState behind the host's
// sequence handle.
#include "effect/SequenceCommands.h"

#include "effect/HostBinding.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace {

// The render states this library made and has not destroyed, each with the sequence handle
// that owns it. A record's render-state field is trusted only when it names one of these for
// the same handle: a record from a damaged or foreign project file, or a host's copy of a live
// record, holds some other value, and deleting that would free memory that is not ours (or
// another sequence's state). Guarded: a host that renders sequences on several threads may set
// one up while it sets down another.
std::map<uint64_t, PF_Handle>& liveStates() {
    static std::map<uint64_t, PF_Handle> states;
    return states;
}
std::mutex& liveStatesMutex() {
    static std::mutex m;
    return m;
}

SequenceData* lockRecord(PF_InData* in_data, PF_Handle h) {
    return static_cast<SequenceData*>(in_data->utils->host_lock_handle(h));
}

// Destroys the state the record points at when handle `h` owns it; any other value is left
// alone. Either way the record no longer points anywhere.
void destroyState(SequenceData* record, PF_Handle h) {
    bool owned = false;
    {
        std::lock_guard<std::mutex> lock(liveStatesMutex());
        const auto it = liveStates().find(record->renderState);
        owned = it != liveStates().end() && it->second == h;
        if (owned)
            liveStates().erase(it);
    }
    if (owned)
        delete reinterpret_cast<RenderState*>(static_cast<uintptr_t>(record->renderState));
    record->renderState = 0;
}

// Destroys the render state behind a handle that is about to be flattened or given up. A host
// that refuses the lock still holds the record behind its handle (the render path reads it the
// same way), and the state must not outlive the handle that points at it.
void destroyStateOf(PF_InData* in_data, PF_Handle h) {
    if (SequenceData* record = lockRecord(in_data, h)) {
        destroyState(record, h);
        in_data->utils->host_unlock_handle(h);
    } else if (*h != nullptr) {
        destroyState(static_cast<SequenceData*>(*h), h);
    }
}

// A handle that is disposed of unless the setup completes.
class PendingHandle {
public:
    PendingHandle(PF_InData* in_data, PF_Handle h) : in_(in_data), h_(h) {}
    ~PendingHandle() {
        if (h_ == nullptr)
            return;
        if (locked_)
            in_->utils->host_unlock_handle(h_);
        in_->utils->host_dispose_handle(h_);
    }
    PendingHandle(const PendingHandle&) = delete;
    PendingHandle& operator=(const PendingHandle&) = delete;
    void markLocked() { locked_ = true; }
    PF_Handle keep() {
        PF_Handle h = h_;
        h_ = nullptr;
        return h;
    }

private:
    PF_InData* in_;
    PF_Handle h_;
    bool locked_ = false;
};

} // namespace

RenderState* ownedRenderState(const void* const* sequence_data) {
    if (sequence_data == nullptr || *sequence_data == nullptr)
        return nullptr;
    // The host's handle memory is read as a plain pointer, without locking. The value is
    // trusted on the same terms as at setdown: a copy of a live record, or one that outlived
    // its state, names a state this handle does not own (or none at all).
    const auto* record = static_cast<const SequenceData*>(*sequence_data);
    const uint64_t address = record->renderState;
    std::lock_guard<std::mutex> lock(liveStatesMutex());
    const auto it = liveStates().find(address);
    if (it == liveStates().end() ||
        static_cast<const void*>(it->second) != static_cast<const void*>(sequence_data))
        return nullptr;
    return reinterpret_cast<RenderState*>(static_cast<uintptr_t>(address));
}

PF_Err renderStateFor(PF_InData* in_data, RenderState*& state) {
    state = nullptr;
    const void* const* record = in_data->sequence_data;
    // Headers older than effect API 13.25 have no sequence data suite: the host then passes
    // the record in in_data.
#if ZP_HOST_THREADED
    {
        // Held for the one call only; no lock of ours is held meanwhile.
        SuiteHolder<PF_EffectSequenceDataSuite1> suite(in_data->pica_basicP, IfOffered{});
        if (suite.get() != nullptr) {
            record = nullptr;
            const PF_Err err = suite->PF_GetConstSequenceData(in_data->effect_ref, &record);
            if (err != PF_Err_NONE)
                return err;
        }
    }
#endif
    state = ownedRenderState(record);
    return PF_Err_NONE;
}

RenderState* renderStateOf(PF_Handle sequence_data) {
    if (sequence_data == nullptr || *sequence_data == nullptr)
        return nullptr;
    const auto* record = static_cast<const SequenceData*>(*sequence_data);
    return reinterpret_cast<RenderState*>(static_cast<uintptr_t>(record->renderState));
}

PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
    out_data->sequence_data = nullptr;
    PF_Handle h = in_data->utils->host_new_handle(sizeof(SequenceData));
    // A host that gives no handle leaves nowhere to keep the state: report it as out of
    // memory rather than render later with nothing behind the sequence.
    if (h == nullptr)
        throw std::bad_alloc();
    PendingHandle pending(in_data, h);
    SequenceData* record = lockRecord(in_data, h);
    if (record == nullptr)
        throw std::bad_alloc();
    pending.markLocked();
    record->reserved = 0;
    record->renderState = 0;
    std::unique_ptr<RenderState> state = makeRenderState(in_data->pica_basicP);
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(state.get()));
    {
        std::lock_guard<std::mutex> lock(liveStatesMutex());
        liveStates().emplace(address, h);
    }
    record->renderState = address;
    state.release();
    in_data->utils->host_unlock_handle(h);
    out_data->sequence_data = pending.keep();
    return PF_Err_NONE;
}

PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data != nullptr) {
        // A record that was never flattened still owns its render state; destroy it rather
        // than leak it with the handle. A flattened one holds none, and a value this handle
        // does not own is not ours to destroy.
        destroyStateOf(in_data, in_data->sequence_data);
        in_data->utils->host_dispose_handle(in_data->sequence_data);
        in_data->sequence_data = nullptr;
    }
    return sequenceSetup(in_data, out_data);
}

PF_Err sequenceFlatten(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data == nullptr)
        return PF_Err_NONE;
    destroyStateOf(in_data, in_data->sequence_data);
    out_data->sequence_data = in_data->sequence_data;
    return PF_Err_NONE;
}

PF_Err sequenceGetFlattened(PF_InData* in_data, PF_OutData* out_data) {
    // Assigned on every way out: the host reads it whatever the answer.
    out_data->sequence_data = nullptr;
    const PF_Handle live = in_data->sequence_data;
    if (live == nullptr)
        return PF_Err_NONE;
    PF_Handle h = in_data->utils->host_new_handle(sizeof(SequenceData));
    if (h == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    PendingHandle pending(in_data, h);
    auto* copy = lockRecord(in_data, h);
    if (copy == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    pending.markLocked();
    // Read the way flatten reads it: locked, or straight from the handle when the host refuses
    // the lock. The live record and its state stay as they are.
    SequenceData record{};
    if (const SequenceData* liveRecord = lockRecord(in_data, live)) {
        std::memcpy(&record, liveRecord, sizeof record);
        in_data->utils->host_unlock_handle(live);
    } else if (*live != nullptr) {
        std::memcpy(&record, *live, sizeof record);
    } else {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    // What flatten leaves behind: the record with no state.
    record.renderState = 0;
    std::memcpy(copy, &record, sizeof record);
    in_data->utils->host_unlock_handle(h);
    out_data->sequence_data = pending.keep();
    return PF_Err_NONE;
}

PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data == nullptr)
        return PF_Err_NONE;
    destroyStateOf(in_data, in_data->sequence_data);
    in_data->utils->host_dispose_handle(in_data->sequence_data);
    out_data->sequence_data = nullptr;
    return PF_Err_NONE;
}
