#include "workspace.h"

#include <mutex>
#include <pthread.h>
#include <vector>

namespace fileio {

namespace {

constexpr std::size_t Kept = 2;

std::mutex poolLock;
std::vector<std::unique_ptr<Workspace>> &pool()
{
    static auto *kept = new std::vector<std::unique_ptr<Workspace>>; // never destroyed: calls may come at exit
    return *kept;
}

// A kept stream's worker threads stay in the parent when the process forks:
// in the child it would wait for them forever, and so would freeing it. The
// child lets every kept workspace go, unfreed.
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

std::size_t Workspace::kept() const
{
    return (encoder ? encoder->kept() : 0) + (decoder ? decoder->kept() : 0) + input.touched() + writer.kept();
}

void Workspace::letGo()
{
    encoder.reset();
    decoder.reset();
    input.release();
    writer.release();
}

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
    std::unique_ptr<Workspace> unkept;
    {
        std::lock_guard lock(poolLock);
        std::size_t held = workspace_->kept();
        for (std::unique_ptr<Workspace> &other : pool())
            held += other->kept();
        for (std::unique_ptr<Workspace> &other : pool())
            if (held > Workspace::MostKept) {
                held -= other->kept();
                other->letGo();
            }
        if (held > Workspace::MostKept)
            workspace_->letGo();
        if (pool().size() < Kept)
            pool().push_back(std::move(workspace_));
        else
            unkept = std::move(workspace_);
    }
    unkept.reset(); // its writer's thread is joined outside the lock
}

} // namespace fileio
