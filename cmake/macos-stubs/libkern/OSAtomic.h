// Stand-in for the macOS header of this name: the declarations the Max
// SDK's ext_atomic.h macros expand to (scripts/check-max-glue).
#pragma once
#include <stdbool.h>
#include <stdint.h>
#ifdef __cplusplus
extern "C" {
#endif
int32_t OSAtomicIncrement32(volatile int32_t*);
int32_t OSAtomicIncrement32Barrier(volatile int32_t*);
int32_t OSAtomicDecrement32(volatile int32_t*);
int32_t OSAtomicDecrement32Barrier(volatile int32_t*);
bool OSAtomicCompareAndSwap32Barrier(int32_t, int32_t, volatile int32_t*);
bool OSAtomicCompareAndSwap64Barrier(int64_t, int64_t, volatile int64_t*);
#ifdef __cplusplus
}
#endif
