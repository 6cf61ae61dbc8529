// The render contexts of one sequence. A frame leases one for its whole render and gives it back
// when done; a context is made when a frame finds none free, so there are as many as frames of
// the sequence have rendered at once. They live until the pool goes, with the sequence's render
// state (flatten, setdown), which the host sends only once no frame of the sequence renders. Safe
// to lease from and give back to on several threads at once; the pool's lock is held only to take
// or put a context, never while one is made or used.
#pragma once

#include "render/RenderContext.h"

#include <memory>
#include <mutex>
#include <vector>

class RenderContextPool;

// One frame's hold on a context: given back to its pool when the lease goes.
class ContextLease {
public:
    ContextLease(ContextLease&& other) noexcept;
    ContextLease& operator=(ContextLease&&) = delete;
    ContextLease(const ContextLease&) = delete;
    ContextLease& operator=(const ContextLease&) = delete;
    ~ContextLease();

    RenderContext& operator*() const { return *context_; }
    RenderContext* operator->() const { return context_.get(); }

private:
    friend class RenderContextPool;
    ContextLease(RenderContextPool& pool, std::unique_ptr<RenderContext> context);

    RenderContextPool* pool_;
    std::unique_ptr<RenderContext> context_;
};

class RenderContextPool {
public:
    RenderContextPool();
    ~RenderContextPool();
    RenderContextPool(const RenderContextPool&) = delete;
    RenderContextPool& operator=(const RenderContextPool&) = delete;

    // The context given back last, or a new one when every context is leased. Throws
    // std::bad_alloc (nothing is then leased).
    ContextLease lease();

    // Contexts made so far and contexts not leased now.
    int made() const;
    int idle() const;
    // The context the next lease takes, or null when none is free: for looking into a sequence
    // between frames (its last frame's settings, tables and filters).
    RenderContext* nextIdle() const;

private:
    friend class ContextLease;
    void giveBack(std::unique_ptr<RenderContext> context) noexcept;

    mutable std::mutex mutex_; // guards idle_ and made_
    std::vector<std::unique_ptr<RenderContext>> idle_;
    int made_ = 0;
};
