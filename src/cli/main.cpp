#include "cli/MainModule.h"

#include <malloc.h>
#include <string>
#include <vector>

namespace {

// A job's large blocks (a recipe's text as it grows, a table's buffers) are
// taken from the heap and, once freed, kept for the next: by default each
// would be a mapping of its own, given back when freed and its pages faulted
// in afresh when taken again, which on a virtual machine costs more than the
// work done in them. The process runs one job and ends, so holding on to
// what it has used costs nothing its peak has not already cost.
void KeepFreedMemoryForReuse() {
    constexpr int kLargestHeapBlock = 32 << 20; // the allocator's own upper limit
    constexpr int kHeldFreeTop = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kHeldFreeTop);
}

} // namespace

int main(int argc, char** argv) {
    KeepFreedMemoryForReuse();
    return vok::Main(std::vector<std::string>(argv + 1, argv + argc));
}
