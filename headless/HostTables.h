// Whole host tables: every callback record and suite this host hands the effect is filled slot
// by slot in the host's order, like the real host's. A slot the effect is meant to call is
// served: the call is noted and goes to this host's service. Every other slot is a trap: the
// call is noted as one the effect must never make and the host's trap handler hears of it
// (tests turn that into a failure). A declaration that put a function in the wrong slot would
// otherwise make the effect call something else in the real host and still pass here.
#pragma once

#include "headless/Host.h"

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

namespace headless {

// Table names as the host's declarations spell them.
inline constexpr char kInteractCallbacks[] = "PF_InteractCallbacks";
inline constexpr char kUtilCallbacks[] = "PF_UtilCallbacks";
inline constexpr char kBasicSuite[] = "SPBasicSuite";
inline constexpr char kHandleSuite[] = "PF_HandleSuite1";
inline constexpr char kUtilitySuite[] = "AEGP_UtilitySuite4";
inline constexpr char kPFInterfaceSuite[] = "AEGP_PFInterfaceSuite1";
inline constexpr char kLayerSuite[] = "AEGP_LayerSuite5";
inline constexpr char kMaskSuite[] = "AEGP_MaskSuite4";
inline constexpr char kStreamSuite[] = "AEGP_StreamSuite2";
inline constexpr char kMaskOutlineSuite[] = "AEGP_MaskOutlineSuite1";
inline constexpr char kPathQuerySuite[] = "PF_PathQuerySuite1";
inline constexpr char kPathDataSuite[] = "PF_PathDataSuite1";
inline constexpr char kParamUtilsSuite[] = "PF_ParamUtilsSuite1";
inline constexpr char kPreRenderCallbacks[] = "PF_PreRenderCallbacks";
inline constexpr char kSmartRenderCallbacks[] = "PF_SmartRenderCallbacks";
inline constexpr char kSequenceDataSuite[] = "PF_EffectSequenceDataSuite1";
inline constexpr char kComputeCacheSuite[] = "AEGP_ComputeCacheSuite1";
inline constexpr char kHashSuite[] = "AEGP_HashSuite1";

// What a trap returns: an error code, since nearly every slot returns one.
constexpr A_Err kTrapResult = PF_Err_INTERNAL_STRUCT_DAMAGED;

namespace tables {

// A trap knows its table and slot, not its slot's type: it takes nothing and returns an error
// code. Both x86-64 calling conventions leave the arguments to the caller, so any slot can be
// called through it; only a call the effect must not make ever reaches one. The function
// sanitizer would stop that call before it is noted, so traps carry no type signature for it.
template <const char* Table, size_t Slot>
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
A_Err trap() {
    noteSlotCall(Table, static_cast<int>(Slot), true);
    return kTrapResult;
}

template <const char* Table, typename T, size_t... Slot>
void fillWithTraps(T& table, std::index_sequence<Slot...>) {
    using Trap = A_Err (*)();
    const Trap traps[] = {&trap<Table, Slot>...};
    static_assert(sizeof traps == sizeof(T), "a table is a whole number of pointer slots");
    std::memcpy(static_cast<void*>(&table), traps, sizeof traps);
}

template <const char* Table, size_t Slot, auto Service> struct Served;
template <const char* Table, size_t Slot, typename R, typename... Args, R (*Service)(Args...)>
struct Served<Table, Slot, Service> {
    static R call(Args... args) {
        noteSlotCall(Table, static_cast<int>(Slot), false);
        return Service(args...);
    }
};

} // namespace tables

// A table of type T, named Table, whose every slot is a trap.
template <const char* Table, typename T> T trappedTable() {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % sizeof(void*) == 0);
    T table;
    tables::fillWithTraps<Table>(table, std::make_index_sequence<sizeof(T) / sizeof(void*)>());
    return table;
}

} // namespace headless

// Serves one slot of a table built by trappedTable: the service must have the slot's type.
#define ZP_SERVE(TableName, table, member, service)                                                \
    ((table).member =                                                                              \
         &::headless::tables::Served<TableName,                                                    \
                                     offsetof(std::remove_reference_t<decltype(table)>, member) /  \
                                         sizeof(void*),                                            \
                                     service>::call)
