#include "workspace.h"

#include <mutex>
#include <pthread.h>
#include <vector>

namespace norvik {

namespace {

constexpr std::size_t Kept = 2;
// Past this, a context holds more than it will need again: level 19's tables
// and windows with its worker threads' buffers, on any file.
constexpr std::size_t LargestKeptContext = std::size_t(256) << 20;

std::mutex poolLock;
std::vector<std::unique_ptr<Workspace>> &pool()
{
    static auto *kept = new std::vector<std::unique_ptr<Workspace>>; // never destroyed: calls may come at exit
    return *kept;
}

// A kept compression context's worker threads stay in the parent when the
// process forks: in the child it would wait for them forever, and so would
// freeing it. The child lets every kept workspace go, unfreed.
void lockForFork()
{
    poolLock.lock();
}

void unlockInParent()
{
    poolLock.unlock();
}

void forgetInChild()
{
    for (std::unique_ptr<Workspace> &workspace : pool())
        (void)workspace.release();
    pool().clear();
    poolLock.unlock();
}

const bool forkHandled = pthread_atfork(lockForFork, unlockInParent, forgetInChild) == 0;

} // namespace

WorkspaceLease::WorkspaceLease()
{
    (void)forkHandled;
    {
        std::lock_guard lock(poolLock);
        if (!pool().empty()) {
            workspace_ = std::move(pool().back());
            pool().pop_back();
        }
    }
    if (!workspace_)
        workspace_ = std::make_unique<Workspace>();
}

WorkspaceLease::~WorkspaceLease()
{
    if (workspace_->compression && ZSTD_sizeof_CCtx(workspace_->compression.get()) > LargestKeptContext)
        workspace_->compression.reset();
    std::lock_guard lock(poolLock);
    if (pool().size() < Kept)
        pool().push_back(std::move(workspace_));
}

} // namespace norvik
