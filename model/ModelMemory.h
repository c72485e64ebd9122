#pragma once

// Memory for the model, which holds the whole configuration (2 MB) and is
// written whole at every start. Each system has one file of these (posix/,
// win32/), chosen by CMake.

#include <cstddef>

namespace modelmemory {

// size bytes, zeroed, aligned for any object; throws std::bad_alloc.
void *Allocate(std::size_t size);
// Gives back a block from Allocate of the same size.
void Free(void *block, std::size_t size) noexcept;

} // namespace modelmemory
