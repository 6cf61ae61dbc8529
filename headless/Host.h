// A headless host: plays After Effects' part for tests and tools. It sends real commands
// through the effect's entry point and serves parameters, handles, suites, masks and pixel
// worlds, counting everything it hands out so tests can prove that nothing is left behind.
// Any fallible host call can be made to fail on its N-th use.
#pragma once

#include "effect/EntryPoints.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

namespace headless {

class ComputeCache;

// Under AddressSanitizer disposed handle memory is freed at once, so that a use after dispose
// is caught rather than landing in a pooled block.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr uint64_t kDefaultPoolBytes = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr uint64_t kDefaultPoolBytes = 0;
#else
inline constexpr uint64_t kDefaultPoolBytes = uint64_t{512} << 20;
#endif
#else
inline constexpr uint64_t kDefaultPoolBytes = uint64_t{512} << 20;
#endif

// One call the effect made into a slot of a host table (a callback record or a suite).
struct SlotCall {
    std::string table; // the table's type name, "AEGP_MaskSuite4"
    int slot;          // 0-based position of the function pointer in the table
    // Empty for a slot the effect must not use; otherwise what was wrong with a call into a
    // served slot ("released PF Handle Suite 2, which no host holds").
    std::string fault;
};

// Notes a call into a table slot on the current host (headless/HostTables.h).
void noteSlotCall(const char* table, int slot, bool trapped);

// What the effect declared through add_param, in order.
struct DeclaredParam {
    PF_ParamDef def;
    std::string popupChoices; // the popup's choice text, copied at declaration
};

// Fault plan: the N-th call (1-based) of a named host function fails once, or the N-th
// fallible call of any name does ("*"). Every fallible call is counted by name.
class Faults {
public:
    void failCall(const std::string& function, int64_t nth) { plan_[function] = nth; }
    void failNthFallible(int64_t nth) { plan_["*"] = nth; }
    void clear() {
        plan_.clear();
        counts_.clear();
        total_ = 0;
    }
    // Counts the call; true when it is to fail.
    bool shouldFail(const std::string& function);
    int64_t calls(const std::string& function) const;
    int64_t totalFallible() const { return total_; }
    int64_t injected() const { return injected_; }
    // Called with the function's name and its call number before each fallible call; a test
    // may throw from it to see how the effect copes with a host that throws.
    std::function<void(const std::string&, int64_t)> hook;

private:
    std::map<std::string, int64_t> plan_;
    std::map<std::string, int64_t> counts_;
    int64_t total_ = 0;
    int64_t injected_ = 0;
};

// The effect side the host talks to: either the effect library's `command` or a loader's
// `PluginMain` (which forwards to `command` itself).
class Plugin {
public:
    // Loads a shared library exporting `command` (the effect library). Throws on failure.
    static std::shared_ptr<Plugin> loadEffectLibrary(const std::string& path);
    // Loads a shared library exporting `PluginMain` (the loader). Throws on failure.
    static std::shared_ptr<Plugin> loadLoader(const std::string& path);
    // The effect linked into this program: the same entry point, called in process (the
    // command-line tool uses it to watch the pipeline).
    static std::shared_ptr<Plugin> fromCommand(EffectCommandFunc command);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    PF_Err call(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                PF_LayerDef* output, void* extra) const;
    const std::string& path() const { return path_; }
    bool isLoader() const { return pluginMain_ != nullptr; }
    // Looks a symbol up in the loaded library (tests use it to see what is exported).
    void* symbol(const char* name) const;

private:
    Plugin() = default;
    void* lib_ = nullptr;
    std::string path_;
    EffectCommandFunc command_ = nullptr;
    PluginMainFunc pluginMain_ = nullptr;
};

class Host {
public:
    explicit Host(std::shared_ptr<Plugin> plugin);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host the static callbacks of the calling thread talk to: the one this thread most
    // recently constructed or sent a command through. Hosts on different threads work side by
    // side; one host is used by one thread at a time. Handles belong to the process: any host
    // locks and disposes a handle another made, and the maker keeps the count.
    static Host* current();
    void makeCurrent();

    // --- commands ------------------------------------------------------------------------
    // Prepares the in-data record and sends one command. The out-data record persists
    // between commands (as the host's would for one effect instance) unless reset.
    PF_Err send(PF_Cmd cmd, void* extra = nullptr, PF_LayerDef* output = nullptr);
    PF_InData& inData() { return in_; }
    const std::shared_ptr<Plugin>& plugin() const { return plugin_; }
    PF_OutData& outData() { return out_; }
    void resetOutData();
    // The sequence handle the host keeps for the effect instance (from out_data after
    // setup/resetup/flatten, handed back in in_data).
    PF_Handle sequenceHandle() const { return sequence_; }
    void setSequenceHandle(PF_Handle h) { sequence_ = h; }

    // Command 28 (get-flattened) on this instance, as the host sends it on the UI thread to copy
    // the sequence to its render threads: `flat` receives the effect's new flat copy, which the
    // caller owns from then on (null when the effect has no sequence data). The instance's own
    // sequence handle stays as it is. A handler that leaves out_data->sequence_data unassigned
    // (which crashes the real host) or hands back its live handle is recorded in
    // protocolFaults() and answered with PF_Err_INTERNAL_STRUCT_DAMAGED.
    PF_Err getFlattenedSequenceData(PF_Handle& flat);

    // --- render side (headless/MultiFrame.h) ---------------------------------------------
    // Makes this host render for the instance `ui`: its parameter values, masks, layer size,
    // times, downsampling, withheld suites and plug-in path are copied (again at every call),
    // and its compute cache is shared. With `renderCopy` set, this host sends render commands with
    // in_data->sequence_data null and the sequence data suite answers with *renderCopy.
    void renderFor(const Host& ui, const PF_Handle* renderCopy);
    // What PF_GetConstSequenceData answers: the render copy of a render-side host, else the
    // instance's own sequence handle.
    PF_Handle sequenceDataForRender() const {
        return renderCopy_ != nullptr ? *renderCopy_ : sequence_;
    }
    // True when `h` is a handle some live host made and nobody disposed of yet.
    static bool isLiveHandle(PF_Handle h);

    // The compute cache the suite serves from this host (one per host unless shared).
    ComputeCache& computeCache() { return *cache_; }
    // Protocol errors of the effect this host detected (besides trapped slots and the compute
    // cache's own faults), in order.
    const std::vector<std::string>& protocolFaults() const { return protocolFaults_; }
    void noteProtocolFault(std::string what) { protocolFaults_.push_back(std::move(what)); }

    // Convenience: global setup + parameter setup + sequence setup. Returns the first error.
    PF_Err setupInstance();
    PF_Err teardownInstance();

    // --- parameters ----------------------------------------------------------------------
    const std::vector<DeclaredParam>& declared() const { return declared_; }
    int addParamCalls() const { return addParamCalls_; }
    // The n-th add_param call (1-based) returns err instead of recording.
    void failAddParam(int nth, PF_Err err) {
        failAddAt_ = nth;
        failAddErr_ = err;
    }
    // Parameter values by index; index 0 is the input layer. Defaults come from the
    // declarations, so parameter setup must have run.
    PF_ParamDef& param(int index);
    int paramCount() const { return static_cast<int>(values_.size()); }
    void setSlider(int index, double value);
    void setColor(int index, PF_Pixel color);
    void setPopup(int index, int value);
    void setPath(int index, PF_PathID id);
    void setCheckbox(int index, int value);
    int outstandingCheckouts() const { return outstandingCheckouts_; }
    int64_t checkouts() const { return checkoutsTotal_; }
    // The array passed with commands: fresh copies of the stored values.
    PF_ParamDef** paramArray();
    // Finds a declared parameter by its group name and control name ("Adjust 1", "Hue");
    // the group name is empty for "Force update". Returns -1 when there is none.
    int findParam(const std::string& group, const std::string& control) const;
    // The group name of a declared parameter's enclosing group ("" at top level).
    std::string groupOf(int index) const;

    // --- handles -------------------------------------------------------------------------
    int liveHandles() const { return liveHandles_; }
    int lockedHandles() const { return lockedHandles_; }
    int64_t handlesMade() const { return handlesMade_; }
    int64_t lastHandleSize() const { return lastHandleSize_; }
    // Memory of disposed handles is kept for handles of the same size, as a real host pools
    // it, up to this many bytes (0 gives every block straight back). Frame after frame the
    // effect then works in memory it has touched before rather than in fresh pages.
    void setHandlePoolBytes(uint64_t bytes);

    // --- suites --------------------------------------------------------------------------
    // Suites belong to the process, as the real host's do: the basic suite is the process's
    // one, and the effect's process-wide objects (its memory handler) hold a suite from one
    // sequence to the last, whichever host set those up. Each host counts what was acquired
    // through it; a release is matched against the calling host's own acquisitions, then any
    // other live host's (whose count drops), then those of hosts since destroyed. A release
    // that matches none is answered with A_Err_MISSING_SUITE, counted and reported through the
    // trap handler: the effect gave back a suite it did not hold.
    void registerSuite(const std::string& name, int version, const void* table);
    void withholdSuite(const std::string& name, int version, bool withheld = true);
    int outstandingSuites() const;
    int outstandingSuite(const std::string& name, int version) const;
    int refusedReleases() const { return refusedReleases_; }
    const std::vector<std::string>& suiteLog() const { return suiteLog_; }
    void clearSuiteLog() { suiteLog_.clear(); }

    // The basic suite this host hands to the effect (for tests that call host-binding code
    // directly). It is the process's one basic suite: calls reach the calling thread's host.
    SPBasicSuite* basicSuite();
    // An in-data record as a command would receive it (callbacks, suites, times).
    PF_InData& preparedInData();

    // Every PF_UpdateParamUI call: the index and the record as the effect sent it.
    struct UiUpdate {
        int index;
        PF_ParamUIFlags ui_flags;
        PF_ParamFlags flags;
    };
    std::vector<UiUpdate> uiUpdates;

    // --- host tables (headless/HostTables.h) ----------------------------------------------
    // Every slot the effect called, served or trapped, by table.
    const std::map<std::string, std::set<int>>& slotCalls() const { return slotCalls_; }
    // Calls that reached a slot the effect must not use, in order.
    const std::vector<SlotCall>& traps() const { return traps_; }
    void clearSlotCalls() {
        slotCalls_.clear();
        traps_.clear();
    }
    void noteSlotCall(const char* table, int slot, bool trapped);
    // Hears of every trapped call and every refused release as it happens, whichever host it
    // reached; without one, a line on stderr. Tests install one that fails the running test.
    static void setTrapHandler(std::function<void(const SlotCall&)> handler);

    // Registrations made through AEGP_RegisterWithAEGP.
    const std::vector<std::string>& registrations() const { return registrations_; }

    // --- plug-in path (get_platform_data) ------------------------------------------------
    void setPluginPath(const std::string& p) { pluginPath_ = p; }

    Faults faults;

    // --- internals used by the static callbacks ------------------------------------------
    struct HandleRec {
        void* memory = nullptr; // must stay first: a PF_Handle points here
        uint64_t size = 0;
        int locks = 0;
    };
    PF_Handle newHandle(uint64_t size);
    void* lockHandle(PF_Handle h);
    void unlockHandle(PF_Handle h);
    void disposeHandle(PF_Handle h);
    A_Err acquireSuite(const char* name, A_long version, const void** suite);
    A_Err releaseSuite(const char* name, A_long version);
    PF_Err addParam(PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err checkoutParam(PF_ParamIndex index, PF_ParamDef* param);
    PF_Err checkinParam(PF_ParamDef* param);
    PF_Err platformData(PF_PlatDataID which, void* data);
    A_Err registerWithAegp(const A_char* name, AEGP_PluginID* id);

    // Extension point for the parts of the host added by later subsystems (layer masks,
    // pixel worlds): each lives in its own file and attaches its state here.
    struct Extension {
        virtual ~Extension() = default;
    };
    template <typename T> T& extension() {
        auto& slot = extensions_[typeid(T).name()];
        if (!slot)
            slot = std::make_unique<T>(*this);
        return static_cast<T&>(*slot);
    }
    // The extension when this host has made it, else null; never adds one, so other threads
    // may ask a host that none of them changes.
    template <typename T> const T* findExtension() const {
        const auto it = extensions_.find(typeid(T).name());
        return it == extensions_.end() ? nullptr : static_cast<const T*>(it->second.get());
    }

private:
    std::shared_ptr<Plugin> plugin_;
    PF_InData in_{};
    PF_OutData out_{};
    PF_InteractCallbacks inter_{};
    PF_UtilCallbacks utils_{};
    PF_Handle sequence_ = nullptr;

    std::vector<DeclaredParam> declared_;
    int addParamCalls_ = 0;
    int failAddAt_ = 0;
    PF_Err failAddErr_ = 0;
    std::vector<PF_ParamDef> values_;
    std::vector<PF_ParamDef> commandCopies_;
    std::vector<PF_ParamDef*> commandPointers_;
    int outstandingCheckouts_ = 0;
    int64_t checkoutsTotal_ = 0;

    std::map<PF_Handle, std::unique_ptr<HandleRec>> handles_;
    int liveHandles_ = 0;
    int lockedHandles_ = 0;
    int64_t handlesMade_ = 0;
    int64_t lastHandleSize_ = -1;
    std::multimap<uint64_t, void*> pool_; // disposed memory by size
    uint64_t poolBytes_ = 0;
    uint64_t poolLimit_ = kDefaultPoolBytes;
    void setHandlePoolBytesLocked(uint64_t bytes);
    void* takeMemory(uint64_t size);
    void giveMemory(void* memory, uint64_t size);

    struct SuiteEntry {
        const void* table = nullptr;
        bool withheld = false;
        int outstanding = 0;
    };
    // Guarded by the process's suite lock: other hosts' releases reach these counts.
    std::map<std::pair<std::string, int>, SuiteEntry> suites_;
    int refusedReleases_ = 0;
    bool takeAcquisition(const std::pair<std::string, int>& key);
    std::vector<std::string> suiteLog_;
    std::vector<std::string> registrations_;
    std::map<std::string, std::set<int>> slotCalls_;
    std::vector<SlotCall> traps_;
    std::string pluginPath_;
    std::map<std::string, std::unique_ptr<Extension>> extensions_;
    // Declared after plugin_: cached values are deleted through the effect's code, which must
    // still be loaded.
    std::shared_ptr<ComputeCache> cache_;
    const PF_Handle* renderCopy_ = nullptr;
    std::vector<std::string> protocolFaults_;
};

} // namespace headless
