// The non-throwing new that the plug-in allocates with. The C++ runtime's own
// is built on the throwing one: it throws bad_alloc and catches it again, and
// the exception object and its thread-local state need memory too, so when
// memory runs out for real the runtime aborts the host instead of returning
// null. This one asks malloc and returns what it gets; delete, which calls
// free, takes it back.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
