// The sequence commands and the record behind the host's sequence handle that points at a
// sequence's RenderState.
#pragma once

#include "host/HostApi.h"
#include "render/RenderState.h"

#include <cstdint>

// The content of the host's sequence handle: 16 bytes, little-endian, stored with projects in
// its flattened form (render state 0).
struct SequenceData {
    uint32_t reserved;    // written 0 at setup
    uint32_t padding;     // never written
    uint64_t renderState; // RenderState*, 0 once flattened
};
static_assert(sizeof(SequenceData) == 16, "the flattened record is 16 bytes");

// The sequence commands. Each returns the host's error code or throws (HostError,
// std::bad_alloc) with everything it took given back.
PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceFlatten(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data);
// Command 28: a new handle holding the record exactly as flatten would leave it, owned by the
// host; the live record and its state stay as they are and in use. out_data->sequence_data is
// always assigned (null without sequence data, or on an error, which leaves nothing changed).
PF_Err sequenceGetFlattened(PF_InData* in_data, PF_OutData* out_data);

// The render state a sequence handle owns, or null: no handle, a flattened record, or a record
// whose value this library did not make for that very handle (a copy of another sequence's
// record, a stale or damaged one). The render commands take their state from here.
// The handle is read-only: PF_ConstHandle of effect API 13.25 and up, spelled out for the
// headers older than that, which do not declare it.
RenderState* ownedRenderState(const void* const* sequence_data);

// The render state of the sequence a render command renders. A host that offers the sequence
// data suite is asked for the record (in_data->sequence_data may then be null); otherwise the
// record is read from in_data->sequence_data. `state` is null when the record has no state of
// its own (as ownedRenderState). Returns the suite's error, if any.
PF_Err renderStateFor(PF_InData* in_data, RenderState*& state);

// The render state the record names, unchecked, or null (no handle, or flattened). Only for
// looking into a sequence known to be live, also from a program that loaded this library
// separately and so sees another registry: commands never render through it.
RenderState* renderStateOf(PF_Handle sequence_data);
