// Random command sequences through the headless host, as a host may send them: sequence setup,
// flatten, resetup and setdown over two sequences of one effect instance, renders at every
// depth, UI updates, changed parameters, about, parameter and mask edits between commands, and
// refused host calls at any point. No command may crash or let an exception out, renders stay
// inside their worlds, and when the instance is torn down the host holds nothing and the effect
// no state.
#include "fuzz/FuzzSupport.h"
#include "render/ParamLayout.h"

#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>

namespace {

using headless::HostWorld;

constexpr int kW = 20;
constexpr int kH = 14;

headless::HostMask mask(fuzz::Bytes& in) {
    static const char* const kNames[] = {"A", "AB", "B"};
    headless::HostMask m;
    m.name = kNames[in.below(3)];
    m.closed = in.flag();
    m.red = in.flag() ? 1.0 : 0.0;
    const uint32_t n = 1 + in.below(4);
    for (uint32_t i = 0; i < n; ++i) {
        AEGP_MaskVertex v{};
        v.x = static_cast<double>(in.below(kW + 8)) - 4;
        v.y = static_cast<double>(in.below(kH + 8)) - 4;
        m.vertices.push_back(v);
    }
    return m;
}

// One declared parameter set to a value its kind allows.
void editParam(headless::Host& h, fuzz::Bytes& in) {
    const int index = 1 + static_cast<int>(in.below(static_cast<uint32_t>(h.declared().size())));
    const PF_ParamDef& d = h.declared()[static_cast<size_t>(index - 1)].def;
    const uint8_t v = in.byte();
    switch (d.param_type) {
    case PF_Param_FLOAT_SLIDER:
        h.setSlider(index,
                    d.u.fs_d.valid_min + (d.u.fs_d.valid_max - d.u.fs_d.valid_min) * v / 255.0);
        break;
    case PF_Param_POPUP:
        h.setPopup(index, 1 + v % d.u.pd.num_choices);
        break;
    case PF_Param_CHECKBOX:
        h.setCheckbox(index, v & 1);
        break;
    case PF_Param_COLOR:
        h.setColor(index,
                   PF_Pixel{255, v, static_cast<A_u_char>(v * 3), static_cast<A_u_char>(v * 7)});
        break;
    case PF_Param_PATH:
        h.setPath(index, static_cast<PF_PathID>(v % 6));
        break;
    default:
        break;
    }
}

// Sends one command; nothing may escape it.
PF_Err guarded(const char* what, const std::function<PF_Err()>& command) {
    try {
        return command();
    } catch (const std::exception& e) {
        fuzz::check(false, std::string(what) + " let an exception out: " + e.what());
    } catch (...) {
        fuzz::check(false, std::string(what) + " let an exception out");
    }
    return PF_Err_NONE;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 512)
        return 0; // long sequences add time, not paths
    fuzz::Bytes in(data, size);
    auto host = fuzz::newInstance();
    headless::Host& h = *host;
    h.inData().height = kH;
    auto& masks = h.extension<headless::LayerMasks>().masks;
    auto& protocol = h.extension<headless::RenderProtocol>();

    // The host keeps one handle per sequence of the instance: null, live or flattened.
    std::array<PF_Handle, 2> sequences{nullptr, nullptr};
    size_t current = 0;
    auto send = [&](const char* what, PF_Cmd cmd, void* extra = nullptr) {
        h.setSequenceHandle(sequences[current]);
        const PF_Err err = guarded(what, [&] { return h.send(cmd, extra); });
        sequences[current] = h.sequenceHandle();
        return err;
    };
    auto liveSequences = [&] {
        return static_cast<int>((sequences[0] != nullptr) + (sequences[1] != nullptr));
    };

    while (in.left() > 0) {
        switch (in.byte() % 14) {
        case 0:
            if (sequences[current] == nullptr)
                send("sequence setup", PF_Cmd_SEQUENCE_SETUP);
            break;
        case 1:
            if (sequences[current] != nullptr)
                send("flatten", PF_Cmd_SEQUENCE_FLATTEN);
            break;
        case 2:
            if (sequences[current] != nullptr)
                send("resetup", PF_Cmd_SEQUENCE_RESETUP);
            break;
        case 3:
            if (sequences[current] != nullptr)
                send("setdown", PF_Cmd_SEQUENCE_SETDOWN);
            break;
        case 4:
        case 5: {
            static const int kDepths[] = {1, 2, 4};
            const bool smart = in.flag();
            const int bpc = smart ? kDepths[in.below(3)] : kDepths[in.below(2)];
            HostWorld input(kW, kH, bpc, in.flag() ? -(kW * 4 * bpc + 8 * bpc) : 0);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW * 4 * bpc; ++x)
                    input.row(y)[x] =
                        static_cast<uint8_t>((x * 7 + y * 13) & (bpc == 4 ? 0x3F : 0x7F));
            HostWorld output(kW, kH, bpc);
            h.setSequenceHandle(sequences[current]);
            guarded("render", [&] {
                return smart ? protocol.renderSmart(input, output, 8 * bpc)
                             : protocol.renderPlain(input, output);
            });
            fuzz::check(input.canariesIntact() && output.canariesIntact(),
                        "a render wrote outside its worlds");
            fuzz::checkHoldings(h, liveSequences(), "after a render", {sequences[0], sequences[1]});
            break;
        }
        case 6:
            send("update UI", PF_Cmd_UPDATE_PARAMS_UI);
            break;
        case 7: {
            h.setCheckbox(params::kForceUpdate, 1);
            PF_UserChangedParamExtra changed{in.flag() ? params::kForceUpdate
                                                       : static_cast<PF_ParamIndex>(in.byte())};
            send("changed param", PF_Cmd_USER_CHANGED_PARAM, &changed);
            break;
        }
        case 8:
            editParam(h, in);
            break;
        case 9:
            if (masks.size() < 5 && in.flag())
                masks.push_back(mask(in));
            else if (!masks.empty())
                masks.pop_back();
            break;
        case 10:
            current = 1 - current;
            break;
        case 11:
            // Refuses one of the next fallible host calls, whichever command makes it.
            h.faults.failNthFallible(h.faults.totalFallible() + 1 + in.below(64));
            break;
        case 12:
            h.inData().output_origin_x = static_cast<int8_t>(in.byte()) % 8;
            h.inData().output_origin_y = static_cast<int8_t>(in.byte()) % 8;
            break;
        default:
            send("about", PF_Cmd_ABOUT);
            break;
        }
        fuzz::checkHoldings(h, liveSequences(), "between commands", {sequences[0], sequences[1]});
    }

    // The host gives up the instance: every sequence, then the global setdown.
    h.faults.failNthFallible(0);
    for (current = 0; current < sequences.size(); ++current) {
        if (sequences[current] != nullptr)
            send("final setdown", PF_Cmd_SEQUENCE_SETDOWN);
    }
    current = 0;
    send("global setdown", PF_Cmd_GLOBAL_SETDOWN);
    fuzz::checkHoldings(h, 0, "after the instance's teardown");
    fuzz::check(h.outstandingSuites() == 0, "suites still held after teardown");
    fuzz::checkEffectIdle("after the instance's teardown");
    return 0;
}
