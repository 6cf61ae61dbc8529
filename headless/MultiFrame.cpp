#include "headless/MultiFrame.h"

#include <atomic>

namespace headless {

MultiFrameRenderer::MultiFrameRenderer(Host& ui) : ui_(ui) {
    copyHost_ = std::make_unique<Host>(ui.plugin());
    ui_.makeCurrent(); // constructing a host makes it current; the instance stays so
}

MultiFrameRenderer::~MultiFrameRenderer() {
    setdownCopy();
    // The render-side hosts share the instance's plug-in through it; they go first.
    threadHosts_.clear();
    copyHost_.reset();
    ui_.makeCurrent();
}

PF_Err MultiFrameRenderer::copyInstance(bool renderOnly) {
    PF_Handle flat = nullptr;
    const PF_Err err = ui_.getFlattenedSequenceData(flat);
    if (err != PF_Err_NONE) {
        if (flat != nullptr && Host::isLiveHandle(flat))
            ui_.disposeHandle(flat);
        return err;
    }
    const PF_Err setdownErr = setdownCopy();
    if (setdownErr != PF_Err_NONE) {
        if (flat != nullptr)
            ui_.disposeHandle(flat);
        return setdownErr;
    }

    Host& h = *copyHost_;
    h.renderFor(ui_, nullptr);
    {
        std::lock_guard<std::mutex> lock(hostsMutex_);
        for (auto& [id, host] : threadHosts_)
            host->renderFor(ui_, &copy_);
    }
    h.setSequenceHandle(flat);
    const PF_InFlags flagsBefore = h.inData().in_flags;
    if (renderOnly)
        h.inData().in_flags |= PF_InFlag_PROJECT_IS_RENDER_ONLY;
    const PF_Err resetupErr = h.send(PF_Cmd_SEQUENCE_RESETUP);
    h.inData().in_flags = flagsBefore;
    copy_ = resetupErr == PF_Err_NONE ? h.sequenceHandle() : nullptr;
    // The host owns the flat copy: what the effect neither kept nor disposed of goes now.
    if (flat != nullptr && flat != copy_ && Host::isLiveHandle(flat))
        h.disposeHandle(flat);
    if (resetupErr != PF_Err_NONE)
        h.setSequenceHandle(nullptr);
    ui_.makeCurrent();
    return resetupErr;
}

PF_Err MultiFrameRenderer::setdownCopy() {
    if (copy_ == nullptr)
        return PF_Err_NONE;
    Host& h = *copyHost_;
    h.setSequenceHandle(copy_);
    const PF_Err err = h.send(PF_Cmd_SEQUENCE_SETDOWN);
    // The copy is gone for the renders whatever the answer; a handle the effect did not give
    // back stays counted by the copy host.
    copy_ = nullptr;
    h.setSequenceHandle(nullptr);
    ui_.makeCurrent();
    return err;
}

Host& MultiFrameRenderer::threadHost() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(hostsMutex_);
    for (auto& [id, host] : threadHosts_) {
        if (id == self)
            return *host;
    }
    lock.unlock();
    // Built outside the lock: constructing a host touches nothing shared but its handles.
    auto host = std::make_unique<Host>(ui_.plugin());
    host->renderFor(ui_, &copy_);
    Host& made = *host;
    lock.lock();
    threadHosts_.emplace_back(self, std::move(host));
    return made;
}

Host& MultiFrameRenderer::frameHost() {
    Host& h = threadHost();
    h.renderFor(ui_, &copy_);
    return h;
}

PF_Err MultiFrameRenderer::renderSmart(HostWorld& input, HostWorld& output, int bitdepth,
                                       A_long time) {
    Host& h = threadHost();
    h.inData().current_time = time;
    return h.extension<RenderProtocol>().renderSmart(input, output, bitdepth);
}

PF_Err MultiFrameRenderer::renderFrames(std::vector<Frame>& frames, int threads) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < frames.size(); i = next++) {
            Frame& f = frames[i];
            f.result = renderSmart(*f.input, *f.output, f.bitdepth, f.time);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(work);
    for (auto& t : pool)
        t.join();
    for (const Frame& f : frames) {
        if (f.result != PF_Err_NONE)
            return f.result;
    }
    return PF_Err_NONE;
}

std::vector<Host*> MultiFrameRenderer::renderHosts() {
    std::lock_guard<std::mutex> lock(hostsMutex_);
    std::vector<Host*> hosts{copyHost_.get()};
    for (auto& [id, host] : threadHosts_)
        hosts.push_back(host.get());
    return hosts;
}

int MultiFrameRenderer::liveHandles() {
    int n = 0;
    for (Host* h : renderHosts())
        n += h->liveHandles();
    return n;
}

int MultiFrameRenderer::outstandingSuites() {
    int n = 0;
    for (Host* h : renderHosts())
        n += h->outstandingSuites();
    return n;
}

std::vector<SlotCall> MultiFrameRenderer::traps() {
    std::vector<SlotCall> all;
    for (Host* h : renderHosts())
        all.insert(all.end(), h->traps().begin(), h->traps().end());
    return all;
}

std::vector<std::string> MultiFrameRenderer::protocolFaults() {
    std::vector<std::string> all;
    for (Host* h : renderHosts())
        all.insert(all.end(), h->protocolFaults().begin(), h->protocolFaults().end());
    return all;
}

} // namespace headless
