// Windows commits large pages only to processes holding a privilege that
// users do not have: the model takes ordinary, zeroed memory.

#include "ModelMemory.h"

#include <cstring>
#include <new>

namespace modelmemory {

void *Allocate(std::size_t size)
{
    void *block = ::operator new(size);
    std::memset(block, 0, size);
    return block;
}

void Free(void *block, std::size_t) noexcept { ::operator delete(block); }

} // namespace modelmemory
