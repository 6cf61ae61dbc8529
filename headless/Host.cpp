#include "headless/Host.h"

#include "headless/ComputeCache.h"
#include "headless/DynamicLibrary.h"
#include "headless/HashSuite.h"
#include "headless/HostTables.h"
#include "headless/LayerMasks.h"
#include "host/LayoutChecks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

namespace headless {

namespace {

// Each thread talks to the host it last sent a command through, so hosts on several threads
// render side by side (the command line's jobs, the Python module's sessions).
thread_local Host* g_current = nullptr;

// Handles belong to the process, as the real host's do: one sequence's render may give back a
// block another sequence kept (the kept label maps share one budget across the library). Each
// handle remembers the host that made it, which keeps the count; one lock guards them all.
std::mutex& handleMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<PF_Handle, Host*>& handleOwners() {
    static std::unordered_map<PF_Handle, Host*> owners;
    return owners;
}

// Suite acquisitions belong to the process (headless/Host.h): the live hosts, whose counts a
// release may reach from any thread, and what hosts since destroyed still had outstanding, all
// under one lock.
std::mutex& suiteMutex() {
    static std::mutex m;
    return m;
}
std::vector<Host*>& liveHosts() {
    static std::vector<Host*> hosts;
    return hosts;
}
std::map<std::pair<std::string, int>, int>& orphanedSuites() {
    static std::map<std::pair<std::string, int>, int> suites;
    return suites;
}

// Hears of a call the effect must not make; without a handler, a line on stderr.
void reportFault(const SlotCall& call);

// What a refused registration answers: a plain host error, not one the effect could take for
// a missing suite.
constexpr A_Err kRegistrationRefused = 1;

Host& cur() {
    if (g_current == nullptr)
        std::abort(); // a callback outside any host: a test bug
    return *g_current;
}

// --- C callbacks: all forward to the current host ------------------------------------------
PF_Err cbAddParam(PF_ProgPtr, PF_ParamIndex index, PF_ParamDefPtr def) {
    return cur().addParam(index, def);
}
PF_Err cbCheckoutParam(PF_ProgPtr, PF_ParamIndex index, A_long, A_long, A_u_long,
                       PF_ParamDef* param) {
    return cur().checkoutParam(index, param);
}
PF_Err cbCheckinParam(PF_ProgPtr, PF_ParamDef* param) {
    return cur().checkinParam(param);
}
PF_Handle cbNewHandle(A_HandleSize size) {
    return cur().newHandle(size);
}
void* cbLockHandle(PF_Handle h) {
    return cur().lockHandle(h);
}
void cbUnlockHandle(PF_Handle h) {
    cur().unlockHandle(h);
}
void cbDisposeHandle(PF_Handle h) {
    cur().disposeHandle(h);
}
PF_Err cbPlatformData(PF_ProgPtr, PF_PlatDataID which, void* data) {
    return cur().platformData(which, data);
}
SPErr cbAcquireSuite(const char* name, int version, const void** suite) {
    return cur().acquireSuite(name, version, suite);
}
SPErr cbReleaseSuite(const char* name, int version) {
    return cur().releaseSuite(name, version);
}
A_Err cbRegister(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
    return cur().registerWithAegp(name, id);
}

// One basic suite for the process: the effect keeps the pointer it was first handed for as
// long as it is loaded, beyond the life of the host that handed it.
SPBasicSuite makeBasicSuite() {
    auto t = trappedTable<kBasicSuite, SPBasicSuite>();
    ZP_SERVE(kBasicSuite, t, AcquireSuite, cbAcquireSuite);
    ZP_SERVE(kBasicSuite, t, ReleaseSuite, cbReleaseSuite);
    return t;
}

PF_Err cbUpdateParamUI(PF_ProgPtr, PF_ParamIndex index, const PF_ParamDef* def) {
    if (cur().faults.shouldFail("PF_UpdateParamUI"))
        return PF_Err_BAD_CALLBACK_PARAM;
    if (def == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    cur().uiUpdates.push_back({index, def->ui_flags, def->flags});
    return PF_Err_NONE;
}

PF_ParamUtilsSuite1 makeParamUtilsSuite() {
    auto t = trappedTable<kParamUtilsSuite, PF_ParamUtilsSuite1>();
    ZP_SERVE(kParamUtilsSuite, t, PF_UpdateParamUI, cbUpdateParamUI);
    return t;
}

PF_HandleSuite1 makeHandleSuite() {
    auto t = trappedTable<kHandleSuite, PF_HandleSuite1>();
    ZP_SERVE(kHandleSuite, t, host_new_handle, cbNewHandle);
    ZP_SERVE(kHandleSuite, t, host_lock_handle, cbLockHandle);
    ZP_SERVE(kHandleSuite, t, host_unlock_handle, cbUnlockHandle);
    ZP_SERVE(kHandleSuite, t, host_dispose_handle, cbDisposeHandle);
    return t;
}

AEGP_UtilitySuite4 makeUtilitySuite() {
    auto t = trappedTable<kUtilitySuite, AEGP_UtilitySuite4>();
    ZP_SERVE(kUtilitySuite, t, AEGP_RegisterWithAEGP, cbRegister);
    return t;
}

// The render's way to its sequence data when in_data->sequence_data is null (threaded
// rendering). The effect reference tells the instance; a call naming another host than the one
// that called the effect is a fault of the effect.
PF_Err cbGetConstSequenceData(PF_ProgPtr effect_ref, PF_ConstHandle* sequence_data) {
    Host& h = cur();
    if (sequence_data == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *sequence_data = nullptr;
    if (effect_ref != reinterpret_cast<PF_ProgPtr>(&h)) {
        h.noteProtocolFault("PF_GetConstSequenceData with an effect reference of another call");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (h.faults.shouldFail("PF_GetConstSequenceData"))
        return PF_Err_BAD_CALLBACK_PARAM;
    *sequence_data = h.sequenceDataForRender();
    return PF_Err_NONE;
}

PF_EffectSequenceDataSuite1 makeSequenceDataSuite() {
    auto t = trappedTable<kSequenceDataSuite, PF_EffectSequenceDataSuite1>();
    ZP_SERVE(kSequenceDataSuite, t, PF_GetConstSequenceData, cbGetConstSequenceData);
    return t;
}

// What command 28 finds in out_data->sequence_data: a handler that does not assign it leaves
// this behind.
void* const g_unassigned[1] = {nullptr};
const PF_Handle kUnassigned = const_cast<PF_Handle>(g_unassigned);

const PF_EffectSequenceDataSuite1 g_sequenceDataSuite = makeSequenceDataSuite();
const PF_ParamUtilsSuite1 g_paramUtilsSuite = makeParamUtilsSuite();
const PF_HandleSuite1 g_handleSuite = makeHandleSuite();
const AEGP_UtilitySuite4 g_utilitySuite = makeUtilitySuite();
SPBasicSuite g_basicSuite = makeBasicSuite();
// Held for the sequence's life; none of its functions is the effect's to call.
const AEGP_LayerSuite5 g_layerSuite = trappedTable<kLayerSuite, AEGP_LayerSuite5>();

// Reached through a function so that a handler installed during static initialisation (as the
// tests do) is not overwritten by this file's own initialisation.
std::function<void(const SlotCall&)>& trapHandler() {
    static std::function<void(const SlotCall&)> handler;
    return handler;
}

} // namespace

// --- Faults ------------------------------------------------------------------------------------
bool Faults::shouldFail(const std::string& function) {
    const int64_t n = ++counts_[function];
    ++total_;
    if (hook)
        hook(function, n);
    bool fail = false;
    if (auto it = plan_.find(function); it != plan_.end() && it->second == n)
        fail = true;
    if (auto it = plan_.find("*"); it != plan_.end() && it->second == total_)
        fail = true;
    if (fail)
        ++injected_;
    return fail;
}

int64_t Faults::calls(const std::string& function) const {
    auto it = counts_.find(function);
    return it == counts_.end() ? 0 : it->second;
}

// --- Plugin --------------------------------------------------------------------------------------
std::shared_ptr<Plugin> Plugin::loadEffectLibrary(const std::string& path) {
    std::shared_ptr<Plugin> p(new Plugin);
    std::string error;
    p->lib_ = openLibrary(path, error);
    if (p->lib_ == nullptr)
        throw std::runtime_error(error);
    p->path_ = path;
    p->command_ = reinterpret_cast<EffectCommandFunc>(findSymbol(p->lib_, "command"));
    if (p->command_ == nullptr)
        throw std::runtime_error(path + " has no export \"command\"");
    return p;
}

std::shared_ptr<Plugin> Plugin::loadLoader(const std::string& path) {
    std::shared_ptr<Plugin> p(new Plugin);
    std::string error;
    p->lib_ = openLibrary(path, error);
    if (p->lib_ == nullptr)
        throw std::runtime_error(error);
    p->path_ = path;
    p->pluginMain_ = reinterpret_cast<PluginMainFunc>(findSymbol(p->lib_, "PluginMain"));
    if (p->pluginMain_ == nullptr)
        throw std::runtime_error(path + " has no export PluginMain");
    return p;
}

std::shared_ptr<Plugin> Plugin::fromCommand(EffectCommandFunc command) {
    std::shared_ptr<Plugin> p(new Plugin);
    p->command_ = command;
    p->path_ = "(linked in)";
    return p;
}

Plugin::~Plugin() {
    if (lib_ != nullptr)
        closeLibrary(lib_);
}

PF_Err Plugin::call(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                    PF_LayerDef* output, void* extra) const {
    if (pluginMain_ != nullptr)
        return pluginMain_(cmd, in, out, params, output, extra);
    return command_("Zonepainter", cmd, in, out, params, output, extra);
}

void* Plugin::symbol(const char* name) const {
    return lib_ == nullptr ? nullptr : findSymbol(lib_, name);
}

// --- Host ----------------------------------------------------------------------------------------
Host* Host::current() {
    return g_current;
}
void Host::makeCurrent() {
    g_current = this;
}

Host::Host(std::shared_ptr<Plugin> plugin)
    : plugin_(std::move(plugin)), cache_(std::make_shared<ComputeCache>()) {
    makeCurrent();
    {
        std::lock_guard<std::mutex> lock(suiteMutex());
        liveHosts().push_back(this);
    }
    inter_ = trappedTable<kInteractCallbacks, PF_InteractCallbacks>();
    ZP_SERVE(kInteractCallbacks, inter_, checkout_param, cbCheckoutParam);
    ZP_SERVE(kInteractCallbacks, inter_, checkin_param, cbCheckinParam);
    ZP_SERVE(kInteractCallbacks, inter_, add_param, cbAddParam);
    utils_ = trappedTable<kUtilCallbacks, PF_UtilCallbacks>();
    ZP_SERVE(kUtilCallbacks, utils_, host_new_handle, cbNewHandle);
    ZP_SERVE(kUtilCallbacks, utils_, host_lock_handle, cbLockHandle);
    ZP_SERVE(kUtilCallbacks, utils_, host_unlock_handle, cbUnlockHandle);
    ZP_SERVE(kUtilCallbacks, utils_, host_dispose_handle, cbDisposeHandle);
    ZP_SERVE(kUtilCallbacks, utils_, get_platform_data, cbPlatformData);
    pluginPath_ = plugin_ ? plugin_->path() : std::string();

    registerSuite(kPFHandleSuite, kPFHandleSuiteVersion1, &g_handleSuite);
    registerSuite(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion4, &g_utilitySuite);
    registerSuite(kAEGPLayerSuite, kAEGPLayerSuiteVersion5, &g_layerSuite);
    registerRenderSuites(*this);
    registerSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1, &g_paramUtilsSuite);
    registerSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1,
                  &g_sequenceDataSuite);
    registerSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1, &computeCacheSuite());
    registerSuite(kAEGPHashSuite, kAEGPHashSuiteVersion1, &hashSuite());

    std::memset(&in_, 0, sizeof in_);
    in_.current_time = 0;
    in_.time_step = 1;
    in_.time_scale = 24;
    in_.downsample_x = PF_RationalScale{1, 1};
    in_.downsample_y = PF_RationalScale{1, 1};
    // The effect reference is opaque to the effect; this host identifies itself with it.
    in_.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
    resetOutData();
}

Host::~Host() {
    {
        std::lock_guard<std::mutex> lock(handleMutex());
        for (auto& [h, rec] : handles_) {
            std::free(rec->memory);
            handleOwners().erase(h);
        }
        handles_.clear();
        setHandlePoolBytesLocked(0);
    }
    {
        // What the effect still holds through this host stays held by the process: its
        // process-wide objects give it back later, through whichever host is current then.
        std::lock_guard<std::mutex> lock(suiteMutex());
        for (const auto& [key, e] : suites_) {
            if (e.outstanding > 0)
                orphanedSuites()[key] += e.outstanding;
        }
        auto& hosts = liveHosts();
        hosts.erase(std::find(hosts.begin(), hosts.end(), this));
    }
    extensions_.clear();
    if (g_current == this)
        g_current = nullptr;
}

void Host::resetOutData() {
    std::memset(&out_, 0, sizeof out_);
}

SPBasicSuite* Host::basicSuite() {
    return &g_basicSuite;
}

PF_InData& Host::preparedInData() {
    makeCurrent();
    in_.inter = inter_;
    in_.utils = &utils_;
    in_.pica_basicP = &g_basicSuite;
    in_.num_params = paramCount();
    // A render-side host's renders find their sequence data through the suite only.
    in_.sequence_data = renderCopy_ != nullptr ? nullptr : sequence_;
    return in_;
}

PF_Err Host::send(PF_Cmd cmd, void* extra, PF_LayerDef* output) {
    preparedInData();
    if (cmd >= PF_Cmd_SEQUENCE_SETUP && cmd <= PF_Cmd_SEQUENCE_SETDOWN)
        out_.sequence_data = nullptr;
    PF_ParamDef** params = values_.empty() ? nullptr : paramArray();
    const PF_Err err = plugin_->call(cmd, &in_, &out_, params, output, extra);
    // Every checkout of the compute cache is checked in before the command returns.
    cache_->noteReceiptsLeftBy(this, cmd);
    // The host adopts what the effect hands back for its sequence.
    switch (cmd) {
    case PF_Cmd_SEQUENCE_SETUP:
    case PF_Cmd_SEQUENCE_RESETUP:
    case PF_Cmd_SEQUENCE_FLATTEN:
        if (out_.sequence_data != nullptr || cmd != PF_Cmd_SEQUENCE_FLATTEN)
            sequence_ = out_.sequence_data;
        break;
    case PF_Cmd_SEQUENCE_SETDOWN:
        if (err == PF_Err_NONE)
            sequence_ = nullptr;
        break;
    default:
        break;
    }
    // Values the effect changed in the command's records (a push button unticking itself)
    // become the stored values, as the host's would.
    if (cmd == PF_Cmd_USER_CHANGED_PARAM) {
        for (size_t i = 0; i < commandCopies_.size() && i < values_.size(); ++i) {
            if (commandCopies_[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) {
                values_[i].u = commandCopies_[i].u;
            }
        }
    }
    return err;
}

PF_Err Host::getFlattenedSequenceData(PF_Handle& flat) {
    flat = nullptr;
    const PF_Handle before = out_.sequence_data;
    out_.sequence_data = kUnassigned;
    PF_Err err = send(PF_Cmd_GET_FLATTENED_SEQUENCE_DATA);
    const PF_Handle answer = out_.sequence_data;
    out_.sequence_data = before;
    if (answer == kUnassigned) {
        noteProtocolFault("get-flattened left out_data->sequence_data unassigned");
        return err != PF_Err_NONE ? err : PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    if (answer != nullptr && answer == sequence_) {
        noteProtocolFault("get-flattened handed back the live sequence handle");
        return err != PF_Err_NONE ? err : PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    flat = answer;
    return err;
}

void Host::renderFor(const Host& ui, const PF_Handle* renderCopy) {
    declared_ = ui.declared_;
    values_ = ui.values_;
    pluginPath_ = ui.pluginPath_;
    in_.global_data = ui.in_.global_data;
    in_.width = ui.in_.width; // the layer's size: blur and glow radii follow its height
    in_.height = ui.in_.height;
    in_.current_time = ui.in_.current_time;
    in_.time_step = ui.in_.time_step;
    in_.time_scale = ui.in_.time_scale;
    in_.downsample_x = ui.in_.downsample_x;
    in_.downsample_y = ui.in_.downsample_y;
    for (const auto& [key, entry] : ui.suites_)
        suites_[key].withheld = entry.withheld;
    // Render threads of one instance start side by side from the same UI host: they only
    // read it (asking it to make its mask extension would change its map under the others).
    if (const LayerMasks* masks = ui.findExtension<LayerMasks>())
        extension<LayerMasks>().masks = masks->masks;
    else
        extension<LayerMasks>().masks.clear();
    cache_ = ui.cache_;
    renderCopy_ = renderCopy;
}

bool Host::isLiveHandle(PF_Handle h) {
    std::lock_guard<std::mutex> lock(handleMutex());
    return handleOwners().count(h) != 0;
}

PF_Err Host::setupInstance() {
    PF_Err err = send(PF_Cmd_GLOBAL_SETUP);
    if (err == PF_Err_NONE)
        err = send(PF_Cmd_PARAMS_SETUP);
    if (err == PF_Err_NONE)
        err = send(PF_Cmd_SEQUENCE_SETUP);
    return err;
}

PF_Err Host::teardownInstance() {
    PF_Err err = PF_Err_NONE;
    if (sequence_ != nullptr)
        err = send(PF_Cmd_SEQUENCE_SETDOWN);
    const PF_Err err2 = send(PF_Cmd_GLOBAL_SETDOWN);
    return err != PF_Err_NONE ? err : err2;
}

// --- parameters ----------------------------------------------------------------------------------
PF_Err Host::addParam(PF_ParamIndex, PF_ParamDefPtr def) {
    ++addParamCalls_;
    if (failAddAt_ != 0 && addParamCalls_ == failAddAt_)
        return failAddErr_;
    if (faults.shouldFail("add_param"))
        return PF_Err_OUT_OF_MEMORY;
    DeclaredParam d;
    d.def = *def;
    if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr != nullptr) {
        d.popupChoices = def->u.pd.u.namesptr;
    }
    if (def->param_type == PF_Param_CHECKBOX)
        d.def.u.bd.u.nameptr = nullptr;
    // The effect's texts need not outlive the call; the choices are kept as a copy.
    if (def->param_type == PF_Param_POPUP)
        d.def.u.pd.u.namesptr = nullptr;
    declared_.push_back(d);
    // The stored value starts as the declared default; index 0 is the host's input layer.
    if (values_.empty()) {
        PF_ParamDef layer;
        std::memset(&layer, 0, sizeof layer);
        layer.param_type = PF_Param_LAYER;
        values_.push_back(layer);
    }
    values_.push_back(d.def);
    return PF_Err_NONE;
}

PF_ParamDef& Host::param(int index) {
    if (index < 0 || index >= paramCount())
        throw std::out_of_range("parameter index");
    return values_[static_cast<size_t>(index)];
}

void Host::setSlider(int index, double value) {
    param(index).u.fs_d.value = value;
}
void Host::setColor(int index, PF_Pixel color) {
    param(index).u.cd.value = color;
}
void Host::setPopup(int index, int value) {
    param(index).u.pd.value = value;
}
void Host::setPath(int index, PF_PathID id) {
    param(index).u.path_d.path_id = id;
}
void Host::setCheckbox(int index, int value) {
    param(index).u.bd.value = value;
}

PF_Err Host::checkoutParam(PF_ParamIndex index, PF_ParamDef* param) {
    // Plug-ins check in every checkout, also one that failed, so each call is outstanding until
    // its checkin whatever its result.
    ++outstandingCheckouts_;
    if (faults.shouldFail("checkout_param"))
        return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || index >= paramCount() || param == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *param = values_[static_cast<size_t>(index)];
    ++checkoutsTotal_;
    return PF_Err_NONE;
}

PF_Err Host::checkinParam(PF_ParamDef* param) {
    if (param == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    --outstandingCheckouts_;
    return PF_Err_NONE;
}

PF_ParamDef** Host::paramArray() {
    commandCopies_ = values_;
    commandPointers_.resize(commandCopies_.size());
    for (size_t i = 0; i < commandCopies_.size(); ++i)
        commandPointers_[i] = &commandCopies_[i];
    return commandPointers_.data();
}

int Host::findParam(const std::string& group, const std::string& control) const {
    std::string current;
    for (size_t i = 0; i < declared_.size(); ++i) {
        const PF_ParamDef& d = declared_[i].def;
        if (d.param_type == PF_Param_GROUP_START) {
            current = d.name;
            continue;
        }
        if (d.param_type == PF_Param_GROUP_END) {
            current.clear();
            continue;
        }
        if (current == group && control == d.name)
            return static_cast<int>(i) + 1;
    }
    return -1;
}

std::string Host::groupOf(int index) const {
    std::string current;
    for (size_t i = 0; i < declared_.size() && static_cast<int>(i) + 1 < index; ++i) {
        const PF_ParamDef& d = declared_[i].def;
        if (d.param_type == PF_Param_GROUP_START)
            current = d.name;
        if (d.param_type == PF_Param_GROUP_END)
            current.clear();
    }
    return current;
}

// --- handles -------------------------------------------------------------------------------------
// Faults are planned on the host a call reaches (the calling thread's); the handle's records are
// kept by the host that made it.
PF_Handle Host::newHandle(uint64_t size) {
    lastHandleSize_ = static_cast<int64_t>(size);
    if (faults.shouldFail("host_new_handle"))
        return nullptr;
    if (size > (uint64_t{1} << 34))
        return nullptr; // beyond what this host will give
    std::lock_guard<std::mutex> lock(handleMutex());
    auto rec = std::make_unique<HandleRec>();
    rec->memory = takeMemory(size);
    if (rec->memory == nullptr)
        return nullptr;
    rec->size = size;
    auto h = reinterpret_cast<PF_Handle>(rec.get());
    handles_[h] = std::move(rec);
    handleOwners()[h] = this;
    ++liveHandles_;
    ++handlesMade_;
    return h;
}

namespace {
// The live record of a handle and the host that counts it; both null for a handle no live host
// made. The handle lock must be held.
std::pair<Host*, Host::HandleRec*> findHandle(PF_Handle h) {
    const auto it = handleOwners().find(h);
    if (it == handleOwners().end())
        return {nullptr, nullptr};
    return {it->second, reinterpret_cast<Host::HandleRec*>(h)};
}
} // namespace

void* Host::lockHandle(PF_Handle h) {
    std::unique_lock<std::mutex> lock(handleMutex());
    auto [owner, rec] = findHandle(h);
    if (rec == nullptr)
        return nullptr;
    lock.unlock();
    if (faults.shouldFail("host_lock_handle"))
        return nullptr;
    lock.lock();
    std::tie(owner, rec) = findHandle(h);
    if (rec == nullptr)
        return nullptr;
    if (rec->locks++ == 0)
        ++owner->lockedHandles_;
    return rec->memory;
}

void Host::unlockHandle(PF_Handle h) {
    std::lock_guard<std::mutex> lock(handleMutex());
    auto [owner, rec] = findHandle(h);
    if (rec == nullptr || rec->locks == 0)
        return;
    if (--rec->locks == 0)
        --owner->lockedHandles_;
}

void Host::disposeHandle(PF_Handle h) {
    std::lock_guard<std::mutex> lock(handleMutex());
    auto [owner, rec] = findHandle(h);
    if (rec == nullptr)
        return;
    if (rec->locks > 0)
        --owner->lockedHandles_;
    owner->giveMemory(rec->memory, rec->size);
    handleOwners().erase(h);
    owner->handles_.erase(h);
    --owner->liveHandles_;
}

void* Host::takeMemory(uint64_t size) {
    if (auto it = pool_.find(size); it != pool_.end()) {
        void* memory = it->second;
        poolBytes_ -= size;
        pool_.erase(it);
        return memory;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void Host::giveMemory(void* memory, uint64_t size) {
    if (poolBytes_ + size > poolLimit_) {
        std::free(memory);
        return;
    }
    pool_.emplace(size, memory);
    poolBytes_ += size;
}

void Host::setHandlePoolBytes(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(handleMutex());
    setHandlePoolBytesLocked(bytes);
}

void Host::setHandlePoolBytesLocked(uint64_t bytes) {
    poolLimit_ = bytes;
    // The largest blocks go first: they are the ones a smaller pool would not keep.
    while (poolBytes_ > poolLimit_ && !pool_.empty()) {
        auto last = std::prev(pool_.end());
        poolBytes_ -= last->first;
        std::free(last->second);
        pool_.erase(last);
    }
}

// --- suites
// ----------------------------------------------------------------------------------------
void Host::registerSuite(const std::string& name, int version, const void* table) {
    std::lock_guard<std::mutex> lock(suiteMutex());
    suites_[{name, version}].table = table;
}

void Host::withholdSuite(const std::string& name, int version, bool withheld) {
    std::lock_guard<std::mutex> lock(suiteMutex());
    suites_[{name, version}].withheld = withheld;
}

int Host::outstandingSuites() const {
    std::lock_guard<std::mutex> lock(suiteMutex());
    int n = 0;
    for (const auto& [key, e] : suites_)
        n += e.outstanding;
    return n;
}

int Host::outstandingSuite(const std::string& name, int version) const {
    std::lock_guard<std::mutex> lock(suiteMutex());
    auto it = suites_.find({name, version});
    return it == suites_.end() ? 0 : it->second.outstanding;
}

A_Err Host::acquireSuite(const char* name, A_long version, const void** suite) {
    if (suite != nullptr)
        *suite = nullptr;
    if (name == nullptr || suite == nullptr)
        return A_Err_MISSING_SUITE;
    suiteLog_.push_back(std::string("acquire ") + name + " " + std::to_string(version));
    if (faults.shouldFail("AcquireSuite"))
        return A_Err_MISSING_SUITE;
    std::lock_guard<std::mutex> lock(suiteMutex());
    auto it = suites_.find({name, version});
    if (it == suites_.end() || it->second.withheld || it->second.table == nullptr)
        return A_Err_MISSING_SUITE;
    ++it->second.outstanding;
    *suite = it->second.table;
    return A_Err_NONE;
}

// The suite lock must be held.
bool Host::takeAcquisition(const std::pair<std::string, int>& key) {
    auto it = suites_.find(key);
    if (it == suites_.end() || it->second.outstanding == 0)
        return false;
    --it->second.outstanding;
    return true;
}

A_Err Host::releaseSuite(const char* name, A_long version) {
    if (name == nullptr)
        return A_Err_MISSING_SUITE;
    suiteLog_.push_back(std::string("release ") + name + " " + std::to_string(version));
    const std::pair<std::string, int> key{name, version};
    {
        std::lock_guard<std::mutex> lock(suiteMutex());
        if (takeAcquisition(key))
            return A_Err_NONE;
        for (Host* other : liveHosts()) {
            if (other != this && other->takeAcquisition(key))
                return A_Err_NONE;
        }
        if (auto it = orphanedSuites().find(key); it != orphanedSuites().end() && it->second > 0) {
            --it->second;
            return A_Err_NONE;
        }
        ++refusedReleases_;
    }
    reportFault(SlotCall{kBasicSuite, 1,
                         "released " + key.first + " " + std::to_string(version) +
                             ", which no host holds"});
    return A_Err_MISSING_SUITE;
}

void noteSlotCall(const char* table, int slot, bool trapped) {
    cur().noteSlotCall(table, slot, trapped);
}

void Host::noteSlotCall(const char* table, int slot, bool trapped) {
    slotCalls_[table].insert(slot);
    if (!trapped)
        return;
    SlotCall call{table, slot, {}};
    traps_.push_back(call);
    reportFault(call);
}

namespace {
void reportFault(const SlotCall& call) {
    if (trapHandler()) {
        trapHandler()(call);
    } else if (call.fault.empty()) {
        std::fprintf(stderr,
                     "headless host: the effect called slot %d of %s, which it must not use\n",
                     call.slot, call.table.c_str());
    } else {
        std::fprintf(stderr, "headless host: the effect %s\n", call.fault.c_str());
    }
}
} // namespace

void Host::setTrapHandler(std::function<void(const SlotCall&)> handler) {
    trapHandler() = std::move(handler);
}

A_Err Host::registerWithAegp(const A_char* name, AEGP_PluginID* id) {
    if (faults.shouldFail("AEGP_RegisterWithAEGP"))
        return kRegistrationRefused;
    registrations_.push_back(name != nullptr ? name : "");
    if (id != nullptr)
        *id = 42;
    return A_Err_NONE;
}

PF_Err Host::platformData(PF_PlatDataID which, void* data) {
    if (faults.shouldFail("get_platform_data"))
        return PF_Err_BAD_CALLBACK_PARAM;
    if (which != PF_PlatData_EXE_FILE_PATH_DEPRECATED || data == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    // The buffer the loader passes holds 272 bytes.
    std::strncpy(static_cast<char*>(data), pluginPath_.c_str(), 271);
    static_cast<char*>(data)[271] = '\0';
    return PF_Err_NONE;
}

} // namespace headless
