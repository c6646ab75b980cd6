// Replacement of the global operator new and delete that counts allocations per thread.
#include <cstdlib>
#include <new>

namespace {
thread_local size_t allocations = 0;
}  // namespace

namespace korvel_test {
size_t AllocationCount() {
  return allocations;
}
}  // namespace korvel_test

void* operator new(std::size_t size) {
  allocations++;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
