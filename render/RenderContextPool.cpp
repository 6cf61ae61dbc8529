#include "render/RenderContextPool.h"

#include <utility>

ContextLease::ContextLease(RenderContextPool& pool, std::unique_ptr<RenderContext> context)
    : pool_(&pool), context_(std::move(context)) {}

ContextLease::ContextLease(ContextLease&& other) noexcept
    : pool_(other.pool_), context_(std::move(other.context_)) {}

ContextLease::~ContextLease() {
    if (context_ != nullptr)
        pool_->giveBack(std::move(context_));
}

RenderContextPool::RenderContextPool() = default;
RenderContextPool::~RenderContextPool() = default;

ContextLease RenderContextPool::lease() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<RenderContext> context = std::move(idle_.back());
            idle_.pop_back();
            return ContextLease(*this, std::move(context));
        }
    }
    // Made outside the lock: a context's tables take a while, and other frames may lease and
    // give back meanwhile.
    auto context = std::make_unique<RenderContext>();
    std::lock_guard<std::mutex> lock(mutex_);
    // Room for every context there is, so that giving one back never allocates.
    idle_.reserve(static_cast<size_t>(made_) + 1);
    ++made_;
    return ContextLease(*this, std::move(context));
}

void RenderContextPool::giveBack(std::unique_ptr<RenderContext> context) noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(context));
}

int RenderContextPool::made() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return made_;
}

int RenderContextPool::idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(idle_.size());
}

RenderContext* RenderContextPool::nextIdle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_.empty() ? nullptr : idle_.back().get();
}
