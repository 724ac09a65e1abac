#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
bool g_bCounting = false;
long g_nCount = 0;
} // namespace

CAllocationCounter::CAllocationCounter() {
    g_nCount = 0;
    g_bCounting = true;
}

CAllocationCounter::~CAllocationCounter() { g_bCounting = false; }

long CAllocationCounter::GetCount() const { return g_nCount; }

void* operator new(std::size_t size) {
    if (g_bCounting)
        ++g_nCount;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
