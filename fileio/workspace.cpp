#include "workspace.h"

#include <functional>
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

std::size_t Workspace::kept(bool resident) const
{
    const auto of = [resident](const std::unique_ptr<Stream> &stream) {
        return !stream ? 0 : resident ? stream->resident() : stream->kept();
    };
    return of(encoder) + of(decoder) + input.touched() + writer.kept();
}

void Workspace::releaseBuffers()
{
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
        // Counted as allocated first, which is quick, and only past the
        // bound as the system holds it.
        const auto total = [&](bool resident) {
            std::size_t held = workspace_->kept(resident);
            for (const std::unique_ptr<Workspace> &other : pool())
                held += other->kept(resident);
            return held;
        };
        // Past it, streams go before the buffers every call uses: the other
        // workspace's before this one's, the larger of two first.
        if (total(false) > Workspace::MostKept) {
            std::size_t held = total(true);
            std::vector<Workspace *> order;
            for (std::unique_ptr<Workspace> &other : pool())
                order.push_back(other.get());
            order.push_back(workspace_.get());
            const auto drop = [&](std::size_t kept, const std::function<void()> &letGo) {
                if (held > Workspace::MostKept && kept > 0)
                    letGo(), held -= kept;
            };
            for (Workspace *workspace : order) {
                std::unique_ptr<Stream> *streams[] = {&workspace->encoder, &workspace->decoder};
                const auto size = [](const std::unique_ptr<Stream> *stream) { return *stream ? (*stream)->resident() : 0; };
                if (size(streams[1]) > size(streams[0]))
                    std::swap(streams[0], streams[1]);
                for (std::unique_ptr<Stream> *stream : streams)
                    drop(size(stream), [stream] { stream->reset(); });
            }
            for (Workspace *workspace : order)
                drop(workspace->input.touched() + workspace->writer.kept(), [workspace] { workspace->releaseBuffers(); });
        }
        if (pool().size() < Kept)
            pool().push_back(std::move(workspace_));
        else
            unkept = std::move(workspace_);
    }
    unkept.reset(); // its writer's thread is joined outside the lock
}

} // namespace fileio
