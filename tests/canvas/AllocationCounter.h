#pragma once

#include <cstddef>

// Counts the calls of operator new on the calling thread while a scope is open. The test
// executable replaces the global operator new and delete (AllocationCounter.cpp) for it.
class AllocationCounter
{
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    std::size_t count() const;
};
