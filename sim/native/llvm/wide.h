// Units of several lanes in the native tier: each unit whose steps are
// arithmetic, comparisons, MIN, MAX and IF THEN ELSE becomes one loop over
// its lanes, its steps fused (no chunk buffers), several lanes at a time in
// vector registers. Only sim/native/ sees LLVM's headers.
#pragma once

#if defined(KAVREL_WITH_LLVM)

#include <functional>

#include <llvm/IR/IRBuilder.h>

#include "sim/native/native.h"

// Emits wide unit w of listing l at b's insertion point (value and rate: the
// arrays, as float pointers). The loop goes chunk by chunk (the chunk loops'
// 256 lanes) without NA tests, noting the least operand whose NA would change
// a result and whether a stored value is not finite; when either may be so
// after a chunk, exact() is emitted there (the call of the unit's chunk
// loops, which compute the unit again from its first lane with the NA rules
// and name its first lane not finite) and the unit ends. The unit never reads
// its own target, so computing it again gives the same values; its next
// runs then go straight to exact() for a while. Returns false,
// with nothing emitted, when a step is of a kind the loop does not compile.
bool emit_wide_loop(llvm::IRBuilder<>& b, llvm::Value* value, llvm::Value* rate,
                    const native_listing& l, const native_wide& w,
                    const std::function<void()>& exact);

// Emits the copy of lanes floats from slot src of value_array into slot dst
// (fo_copy) as a vector loop; false, with nothing emitted, when memmove's
// call is left to do it (fewer lanes than a vector, overlapping slots).
bool emit_wide_copy(llvm::IRBuilder<>& b, llvm::Value* value, llvm::Value* rate,
                    const native_operand& dst, const native_operand& src, std::uint64_t lanes);

#endif
