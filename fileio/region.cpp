#include "region.h"

#include <new>
#include <sys/mman.h>

namespace fileio {

Region::Region(std::size_t size)
    : size_(size)
{
    void *region = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED)
        throw std::bad_alloc();
    (void)::madvise(region, size, MADV_HUGEPAGE); // a hint; fine where refused
    bytes_ = static_cast<char *>(region);
}

Region::~Region()
{
    ::munmap(bytes_, size_);
}

void Region::release()
{
    if (touched_ > 0)
        (void)::madvise(bytes_, size_, MADV_DONTNEED);
    touched_ = 0;
}

} // namespace fileio
