#include "Deal.h"

#include <algorithm>
#include <numeric>

unsigned long long pairWeight(unsigned long long size)
{
    return size + (64 << 10);
}

std::vector<int> dealt(std::size_t libraries, const std::vector<unsigned long long> &fileSizes, int shards)
{
    const std::size_t files = fileSizes.size(), count = std::size_t(std::max(shards, 1));
    std::vector<std::size_t> largestFirst(files);
    std::iota(largestFirst.begin(), largestFirst.end(), 0);
    std::stable_sort(largestFirst.begin(), largestFirst.end(),
                     [&](std::size_t a, std::size_t b) { return fileSizes[a] > fileSizes[b]; });
    std::vector<int> shard(files * libraries, 1);
    for (std::size_t library = 0; library < libraries; ++library) {
        // Each library starts where the last one's files ended, so that few
        // files still reach every shard.
        const std::size_t start = library * files % count;
        std::vector<unsigned long long> load(count, 0);
        for (std::size_t file : largestFirst) {
            std::size_t best = start;
            for (std::size_t step = 1; step < count; ++step) {
                const std::size_t candidate = (start + step) % count;
                if (load[candidate] < load[best])
                    best = candidate;
            }
            load[best] += pairWeight(fileSizes[file]);
            shard[file * libraries + library] = int(best) + 1;
        }
    }
    return shard;
}
