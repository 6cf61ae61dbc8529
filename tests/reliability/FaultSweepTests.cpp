// Every host call that can fail is failed once, at every position a full effect session reaches:
// global and parameter setup, sequence setup, renders with every stage on at 8, 16 and 32 bits
// (smart and plain), a parameter change, a UI update, flatten and resetup, setdown. Each command
// must come back with an error code or a finished frame, never crash or let an exception out,
// and the host must get back every handle, suite, checkout, mask, stream and stream value.
#include "render/ParamLayout.h"
#include "tests/reliability/Scenario.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <omp.h>
#include <set>
#include <sstream>

namespace {

using headless::HostWorld;
using reliability::kHeight;
using reliability::kWidth;

enum class Fault { None, Refuse };

struct CommandResult {
    std::string name;
    PF_Err err;
};

struct RunLog {
    std::vector<CommandResult> commands;
    std::vector<std::string> problems; // what must never happen
    reliability::Holdings after;
    int64_t fallible = 0;
    int64_t injected = 0;
    std::string target;                         // the call chosen to fail, "name #k"
    std::map<std::string, int64_t> callsByName; // fallible calls reached, by host function

    std::string summary() const {
        std::ostringstream s;
        s << "failing " << target << ":";
        for (const auto& c : commands)
            s << " " << c.name << "=" << c.err;
        for (const auto& p : problems)
            s << "\n  " << p;
        return s.str();
    }
};

// One render: a junk-filled output, guards checked, and a frame reported as done must carry the
// input's alpha (the pipeline's last step) in every pixel.
struct RenderSpec {
    const char* name;
    int bytesPerChannel;
    bool smart;
    int glowBlend;
    int rowPad; // extra row bytes; negative stores the rows bottom-up
};

const RenderSpec kRenders[] = {
    {"smart8/add", 1, true, params::kBlendAdd, 0},
    {"smart16/normal", 2, true, params::kBlendNormal, 16},
    {"smart32/screen", 4, true, params::kBlendScreen, -8},
    {"plain8/screen", 1, false, params::kBlendScreen, 5},
    {"plain16/add", 2, false, params::kBlendAdd, -4},
};

RunLog runSession(int64_t faultAt, Fault mode) {
    RunLog log;
    auto host = reliability::linkedHost();
    headless::Host& h = *host;
    h.faults.hook = [&](const std::string& fn, int64_t n) {
        ++log.callsByName[fn];
        if (h.faults.totalFallible() != faultAt)
            return;
        log.target = fn + " #" + std::to_string(n);
    };
    if (mode == Fault::Refuse)
        h.faults.failNthFallible(faultAt);

    auto send = [&](const std::string& name, const std::function<PF_Err()>& fn) {
        PF_Err err = PF_Err_NONE;
        try {
            err = fn();
        } catch (const std::exception& e) {
            log.problems.push_back(name + " let an exception out: " + e.what());
            err = -1;
        } catch (...) {
            log.problems.push_back(name + " let an exception out");
            err = -1;
        }
        log.commands.push_back({name, err});
        return err;
    };
    auto finish = [&] {
        send("global setdown", [&] { return h.send(PF_Cmd_GLOBAL_SETDOWN); });
        log.after = reliability::holdings(h);
        log.fallible = h.faults.totalFallible();
        log.injected = h.faults.injected();
        h.faults.hook = nullptr;
        return log;
    };

    if (send("global setup", [&] { return h.send(PF_Cmd_GLOBAL_SETUP); }) != PF_Err_NONE)
        return finish();
    if (send("params setup", [&] { return h.send(PF_Cmd_PARAMS_SETUP); }) != PF_Err_NONE)
        return finish();
    // A refused declaration that setup passes over shifts every later index; the session goes
    // on with the host's list as it is (the effect must cope), just without the scenario.
    const bool fullList = h.paramCount() == params::kNumParams;
    if (fullList)
        reliability::armEveryStage(h, params::kBlendScreen);
    else
        h.inData().height = kHeight;

    send("sequence setup", [&] { return h.send(PF_Cmd_SEQUENCE_SETUP); });

    auto render = [&](const RenderSpec& r) {
        if (fullList)
            h.setPopup(params::kGlowBlend, r.glowBlend);
        const int packed = kWidth * 4 * r.bytesPerChannel;
        const int rowBytes =
            r.rowPad == 0 ? 0 : (r.rowPad > 0 ? packed + r.rowPad : -(packed - r.rowPad));
        HostWorld in(kWidth, kHeight, r.bytesPerChannel, rowBytes);
        reliability::paint(in);
        HostWorld out(kWidth, kHeight, r.bytesPerChannel, rowBytes);
        out.fillBytes(0xA5);
        auto& protocol = h.extension<headless::RenderProtocol>();
        const PF_Err err = send(r.name, [&] {
            return r.smart ? protocol.renderSmart(in, out, 8 * r.bytesPerChannel)
                           : protocol.renderPlain(in, out);
        });
        if (!in.canariesIntact() || !out.canariesIntact())
            log.problems.push_back(std::string(r.name) + " wrote outside its worlds");
        if (in.packedPixels() != [&] {
                HostWorld again(kWidth, kHeight, r.bytesPerChannel);
                reliability::paint(again);
                return again.packedPixels();
            }())
            log.problems.push_back(std::string(r.name) + " changed its input");
        if (err == PF_Err_NONE && reliability::alphaBytes(out) != reliability::alphaBytes(in))
            log.problems.push_back(std::string(r.name) + " reported a frame it did not finish");
        const reliability::Holdings mid = reliability::holdings(h);
        if (mid.lockedHandles != mid.keptBlocks || mid.checkouts != 0 || mid.maskObjects != 0)
            log.problems.push_back(std::string(r.name) + " kept " + mid.describe());
    };

    for (const RenderSpec& r : kRenders)
        render(r);

    if (fullList)
        h.setCheckbox(params::kForceUpdate, 1);
    PF_UserChangedParamExtra changed{params::kForceUpdate};
    send("changed param", [&] { return h.send(PF_Cmd_USER_CHANGED_PARAM, &changed); });
    send("update UI", [&] { return h.send(PF_Cmd_UPDATE_PARAMS_UI); });
    send("flatten", [&] { return h.send(PF_Cmd_SEQUENCE_FLATTEN); });
    send("resetup", [&] { return h.send(PF_Cmd_SEQUENCE_RESETUP); });
    render(kRenders[0]);
    send("sequence setdown", [&] { return h.send(PF_Cmd_SEQUENCE_SETDOWN); });
    return finish();
}

struct SweepStats {
    int64_t runs = 0;
    std::map<std::string, std::set<PF_Err>> codes; // command -> results seen
};

// Runs the clean session, then one session per fallible position.
void sweep(Fault mode, SweepStats& stats, RunLog& clean) {
    clean = runSession(0, Fault::None);
    ASSERT_TRUE(clean.problems.empty()) << clean.summary();
    for (const auto& c : clean.commands)
        ASSERT_EQ(c.err, PF_Err_NONE) << c.name;
    ASSERT_TRUE(clean.after.empty()) << clean.after.describe();
    ASSERT_GT(clean.fallible, 0);

    for (int64_t n = 1; n <= clean.fallible; ++n) {
        const RunLog run = runSession(n, mode);
        ++stats.runs;
        // Up to the chosen call the session is the clean one, so the call is always reached.
        EXPECT_FALSE(run.target.empty()) << "position " << n << " was not reached";
        if (mode == Fault::Refuse) {
            EXPECT_EQ(run.injected, 1) << run.summary();
        }
        EXPECT_TRUE(run.problems.empty()) << run.summary();
        EXPECT_TRUE(run.after.empty()) << run.summary() << "\n  left: " << run.after.describe();
        for (const auto& c : run.commands)
            stats.codes[c.name].insert(c.err);
        if (::testing::Test::HasFailure()) {
            // One broken position usually breaks its neighbours the same way: stop early.
            FAIL() << "stopped the sweep at position " << n << " of " << clean.fallible;
        }
    }
}

struct OneThread {
    int saved = omp_get_max_threads();
    OneThread() { omp_set_num_threads(1); }
    ~OneThread() { omp_set_num_threads(saved); }
};

std::string describeCounts(const RunLog& clean) {
    std::ostringstream s;
    s << clean.fallible << " fallible calls:";
    for (const auto& [fn, n] : clean.callsByName)
        s << " " << fn << "=" << n;
    return s.str();
}

TEST(FaultSweep, EveryRefusedHostCallIsReportedAndLeavesNothingBehind) {
    // The sweep is about what comes back to the host, not about threads (the thread sanitizer
    // run covers those); one thread keeps its thousand sessions quick on a busy machine.
    OneThread one;
    SweepStats stats;
    RunLog clean;
    sweep(Fault::Refuse, stats, clean);
    if (HasFatalFailure())
        return;
    // Every kind of fallible call the session makes is among the ones refused.
    for (const char* fn :
         {"AcquireSuite", "host_new_handle", "host_lock_handle", "add_param", "checkout_param",
          "AEGP_GetLayerMaskByIndex", "AEGP_GetNewMaskStream", "AEGP_GetNewStreamValue",
          "PF_CheckoutPath", "PF_PathGetName", "checkout_layer", "checkout_layer_pixels",
          "checkout_output", "PF_UpdateParamUI", "AEGP_RegisterWithAEGP"}) {
        EXPECT_GT(clean.callsByName[fn], 0) << fn << " is never reached";
    }
    // A refused world or suite must reach the host as an error, not as a finished frame.
    EXPECT_TRUE(stats.codes["smart8/add"].count(PF_Err_OUT_OF_MEMORY));
    EXPECT_TRUE(stats.codes["sequence setup"].count(A_Err_MISSING_SUITE));
    std::cout << "[ sweep    ] refused: " << stats.runs << " runs, " << describeCounts(clean)
              << "\n[ sweep    ] results seen:";
    for (const auto& [command, codes] : stats.codes) {
        std::cout << " " << command << "{";
        for (PF_Err c : codes)
            std::cout << (c == *codes.begin() ? "" : ",") << c;
        std::cout << "}";
    }
    std::cout << "\n";
}

} // namespace
