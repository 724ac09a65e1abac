#pragma once
// Counts the heap allocations this test program makes while a counter lives (AllocationCounter.cpp replaces
// the global operator new for the whole program; outside a counter it only allocates).

class CAllocationCounter {
public:
    CAllocationCounter();
    ~CAllocationCounter();
    CAllocationCounter(const CAllocationCounter&) = delete;
    CAllocationCounter& operator=(const CAllocationCounter&) = delete;

    /// Allocations since the counter was made.
    long GetCount() const;
};
