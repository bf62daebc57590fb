// The IR of a pass: the flat instructions of its listing turned into LLVM IR
// through IRBuilder (pass_builder), the steps function of a program over two
// passes, and the compile of one module to an object.
#include <malloc.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "model/constants.h"
#include "sim/flat.h"
#include "sim/flat_ops.h"
#include "sim/interp.h"
#include "sim/interp_core.h"
#include "sim/native/compile_internal.h"
#include "sim/simdata.h"

#include <llvm/ExecutionEngine/JITEventListener.h>
#include <llvm/ExecutionEngine/Orc/LLJIT.h>
#include <llvm/ExecutionEngine/Orc/RTDyldObjectLinkingLayer.h>
#include <llvm/ExecutionEngine/Orc/ThreadSafeModule.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/LLVMContext.h>
#include <llvm/IR/LegacyPassManager.h>
#include <llvm/IR/MDBuilder.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Verifier.h>
#include <llvm/Passes/PassBuilder.h>
#include <llvm/Support/CommandLine.h>
#include <llvm/Support/FileSystem.h>
#include <llvm/Support/SmallVectorMemoryBuffer.h>
#include <llvm/Support/TargetSelect.h>
#include <llvm/Support/raw_ostream.h>
#include <llvm/Target/TargetMachine.h>
#include <llvm/Transforms/IPO/AlwaysInliner.h>
#include <llvm/Transforms/InstCombine/InstCombine.h>
#include <llvm/Transforms/Scalar/EarlyCSE.h>
#include <llvm/Transforms/Scalar/SROA.h>
#include <llvm/Transforms/Scalar/SimplifyCFG.h>

#include "sim/native/llvm/wide.h"

using namespace native_detail;

namespace {

// Runs call(), an error caught into the frame: non-zero after one.
template <typename Call> int caught(native_frame* f, Call&& call) {
    try {
        call();
        return 0;
    } catch (...) {
        f->error = std::current_exception();
        return 1;
    }
}
// The calls the native code makes; each returns non-zero after catching an
// error into the frame.
int call_unit(native_frame* f, std::int32_t unit, std::int32_t mode) {
    return caught(f, [&] { eval_unit(unit, mode); });
}
int call_builtin(native_frame* f, std::int32_t unit, const std::uint32_t* call, const double* args,
                 std::int32_t mode, double* out) {
    engine_calls.fetch_add(1, std::memory_order_relaxed);
    return caught(f, [&] { *out = interp_call_one(unit, call, args, mode); });
}
int call_rate(native_frame* f, std::int32_t unit, const std::uint32_t* call, const double* args,
              std::int32_t mode) {
    return caught(f, [&] { interp_state_rate_one(unit, call, args, mode); });
}
int call_wide(native_frame* f, std::int32_t index) {
    return caught(f, [&] { f->pass->run_wide_unit(static_cast<std::uint32_t>(index)); });
}
// Bounded code found a slot out of its bounds (tests count these).
void note_bound_miss() {
    bound_misses.fetch_add(1, std::memory_order_relaxed);
}

double call_lookup(lookup_table* t, double x) {
    return lookup_value(*t, run_lookup_data(), x, false);
}
// The guesses a lookup of the native code keeps in a word of its code: a
// segment (the index of its left point), or the end beyond which x lay.
constexpr std::uint32_t guess_below = 0xFFFFFFFEu, guess_above = 0xFFFFFFFFu;
// The search of a lookup whose guess failed, which also notes the next guess
// in the lookup's word (site): out of line, as the search is rare.
double call_lookup_noting(lookup_table* t, double x, std::uint32_t* site) {
    const float* data = run_lookup_data();
    const double v = lookup_value(*t, data, x, false);
    if (t->count >= 2) {
        const std::uint32_t g = x <= static_cast<double>(data[t->x]) ? guess_below
                                : x > static_cast<double>(data[t->x + t->count - 1])
                                    ? guess_above
                                    : static_cast<std::uint32_t>(t->segment);
        __atomic_store_n(site, g, __ATOMIC_RELAXED);
    }
    return v;
}
double call_lookup_extrapolate(lookup_table* t, double x) {
    return lookup_value(*t, run_lookup_data(), x, true);
}
double call_lookup_invert(lookup_table* t, double y) {
    return lookup_inverse(*t, run_lookup_data(), y);
}
double call_pow(double x, double y) {
    return std::pow(x, y);
}
void call_copy(float* dst, const float* src, std::uint64_t n) {
    if (dst != src) std::memmove(dst, src, 4 * n);
}

} // namespace

namespace {

using llvm::BasicBlock;
using llvm::Value;

// Builds the IR of one listing. The pass is cut into functions of about
// chunk_ops instructions at unit boundaries (one function for a whole large
// model makes an optimising compile slow); the first calls them in order.
class pass_builder {
public:
    // level 0 or 1; at level 0 the code uses no vector operations (tier 0's
    // fast instruction selection does not take them and falls back, slowly)
    // and units of several lanes and copies stay calls.
    pass_builder(llvm::LLVMContext& cx, llvm::Module& m, const native_listing& l, int level)
        : cx_(cx), m_(m), l_(l), b_(cx), level_(level), vectors_(level != 0) {
        f32_ = b_.getFloatTy();
        f64_ = b_.getDoubleTy();
        i32_ = b_.getInt32Ty();
        i64_ = b_.getInt64Ty();
        i8p_ = b_.getInt8PtrTy();
        f32p_ = f32_->getPointerTo();
        f64p_ = f64_->getPointerTo();
        i32p_ = i32_->getPointerTo();
    }

    // Lookups as calls only (tier 0: less code to compile).
    void lookups_as_calls() { calls_only_ = true; }
    // Bounded code for straight parts too (see bounded_variant): the passes
    // inlined into compiled steps.
    void bound_straight_parts() { bound_straight_ = true; }
    // Slots (kind, index) into which the code built so far stores a value it
    // tests for being finite: when it returns 0, every one of them holds a
    // finite value.
    using slot_set = std::set<std::pair<int, std::int64_t>>;
    const slot_set& tested_stores() const { return tested_stores_; }
    // Slots that hold finite values whenever this pass runs (the stores the
    // dynamic pass tested, for the rates pass of compiled steps): a copy of
    // one into a target needs no test of its own.
    void finite_before(const slot_set& slots) { finite_before_ = &slots; }
    // The first slots of the rate array's runs of 4 (rolled_turn) that the
    // code stores with one vector store (repeated units in lanes).
    const std::set<std::int64_t>& rate_quads() const { return rate_quads_; }

    // The pass's parts: spans of instructions compiled as functions of their own.
    struct part_span {
        std::size_t from, to;
        bool pure;
        // Units in the part when it is a loop over repeated units (0: none).
        std::size_t rolled = 0;
    };
    const std::vector<part_span>& plan() {
        if (planned_) return parts_;
        planned_ = true;
        // Units: runs of instructions that end with one that ends a unit; the
        // last instruction (the pass's end) is a unit of its own.
        struct unit_span {
            std::size_t from, to;
            bool pure;
        };
        std::vector<unit_span> units;
        std::size_t from = 0;
        for (std::size_t i = 0; i < l_.ops.size(); ++i) {
            std::uint16_t c = l_.ops[i].code;
            bool ends_unit =
                c == fo_unit || c == fo_wide || c == fo_copy || l_.ops[i].field[2].kind <= nk_rate;
            if (c >= fo_pair_first && c < fo_count) ends_unit = false;
            if (c == fo_end && i > 0 && l_.ops[i - 1].code >= fo_pair_first &&
                l_.ops[i - 1].code < fo_count)
                ends_unit = (l_.ops[i - 1].code - fo_pair_first) % 2 == 1;
            if (i + 2 == l_.ops.size()) ends_unit = true;
            if (ends_unit || i + 1 == l_.ops.size()) {
                bool pure = i + 1 < l_.ops.size();
                for (std::size_t k = from; k <= i && pure; ++k) pure = pure_op(k);
                units.push_back({from, i + 1, pure});
                from = i + 1;
            }
        }
        units_.clear();
        for (const unit_span& u : units) units_.push_back({u.from, u.to, u.pure});
        // Long runs of repeated units that a fast part may compute become
        // parts of their own, each a loop over its units.
        std::vector<repeat_run> runs;
        for (const repeat_run& r : find_runs(min_rolled))
            if (r.rollable && !rereads_written_slot(r.from, r.to)) runs.push_back(r);
        // Parts: units of one kind (pure or not) together, cut once long
        // enough; a small pass is not cut (the 50-variable chain ran about a
        // tenth faster as one part: one set of tests at the end instead of
        // two), a large one is (longer parts of the world-size model's
        // auxiliaries spilled more and ran slower).
        const bool whole_pass_part = l_.ops.size() <= small_pass_ops;
        auto run = runs.begin();
        for (std::size_t u = 0; u < units_.size(); ++u) {
            if (run != runs.end() && run->unit == u) {
                parts_.push_back({run->from, run->to, true, run->count});
                u += run->count - 1;
                ++run;
                continue;
            }
            const part_span& n = units_[u];
            if (!parts_.empty() && !parts_.back().rolled && parts_.back().pure == n.pure &&
                (parts_.back().to - parts_.back().from < chunk_ops || whole_pass_part))
                parts_.back().to = n.to;
            else
                parts_.push_back({n.from, n.to, n.pure});
        }
        // The pass's end (its last check) is made in the main function.
        end_in_main_ = parts_.size() > 1 && parts_.back().from + 1 == l_.ops.size() &&
                       l_.ops.back().code == fo_end;
        if (end_in_main_) parts_.pop_back();
        return parts_;
    }

    // Runs of consecutive units that repeat one another: the same
    // instructions (codes, registers, operand kinds) with each operand's
    // index moving by a stride of its own from one unit to the next.
    struct repeat_run {
        std::size_t unit, count, from, to; // units unit..unit+count, instructions from..to
        bool pure;
        bool rollable; // whose instructions a loop computes (rollable_op)
    };

private:
    std::vector<repeat_run> find_runs(std::size_t min_count) const {
        std::vector<repeat_run> runs;
        auto same_shape = [&](const part_span& p, const part_span& q) {
            if (p.to - p.from != q.to - q.from || p.pure != q.pure) return false;
            for (std::size_t k = 0; k < p.to - p.from; ++k) {
                const native_op &x = l_.ops[p.from + k], &y = l_.ops[q.from + k];
                // The b of a call or choice is its unit, which only the
                // engine reads.
                const bool call = x.code == fo_call || x.code == fo_rate || x.code == fo_if;
                if (x.code != y.code || x.a != y.a || (x.b != y.b && !call) || x.nargs != y.nargs ||
                    x.fn != y.fn || x.states != y.states)
                    return false;
                for (int f = 0; f < 3; ++f) {
                    if (x.field[f].kind != y.field[f].kind) return false;
                    // Numbers are constants of the loop: the same in every unit.
                    if (x.field[f].kind == nk_number &&
                        std::memcmp(&l_.numbers[static_cast<std::size_t>(x.field[f].index)],
                                    &l_.numbers[static_cast<std::size_t>(y.field[f].index)],
                                    sizeof(float)) != 0)
                        return false;
                }
            }
            return true;
        };
        // The stride of every operand from unit p to unit q.
        auto strides = [&](const part_span& p, const part_span& q) {
            std::vector<std::int64_t> d;
            for (std::size_t k = 0; k < p.to - p.from; ++k) {
                const native_op &x = l_.ops[p.from + k], &y = l_.ops[q.from + k];
                for (int f = 0; f < 3; ++f)
                    d.push_back(x.field[f].kind == nk_number || x.field[f].kind == nk_code
                                    ? 0
                                    : y.field[f].index - x.field[f].index);
                d.push_back(std::int64_t{y.state} - std::int64_t{x.state});
            }
            return d;
        };
        for (std::size_t u = 0; u < units_.size();) {
            std::size_t n = 1;
            if (u + 1 < units_.size() && same_shape(units_[u], units_[u + 1])) {
                const auto d = strides(units_[u], units_[u + 1]);
                n = 2;
                while (u + n < units_.size() && same_shape(units_[u], units_[u + n]) &&
                       strides(units_[u + n - 1], units_[u + n]) == d)
                    ++n;
            }
            if (n >= min_count) {
                bool rollable = units_[u].pure;
                for (std::size_t k = units_[u].from; k < units_[u].to && rollable; ++k)
                    rollable = rollable_op(k);
                runs.push_back(
                    {u, n, units_[u].from, units_[u + n - 1].to, units_[u].pure, rollable});
            }
            u += n;
        }
        return runs;
    }
    // Whether a loop over repeated units computes instruction k as the
    // straight code does: its slots and tables are addressed by the unit's
    // number, and it neither calls into the engine nor reads hidden states.
    bool rollable_op(std::size_t k) const {
        const std::uint16_t c = l_.ops[k].code;
        if (c == fo_call) return native_builtin(k) && !native_state(k) && !unit_words(l_.ops[k].fn);
        if (c == fo_rate) return false;
        return pure_op(k);
    }

public:
    // Builds parts first..end of the plan and, with_main, the main function
    // that calls every part; a module of the whole pass keeps its parts
    // internal, one of several (compiled at once) defines some and declares
    // the others.
    llvm::Function* build(const std::string& name, std::size_t first = 0,
                          std::size_t end = std::size_t(-1), bool with_main = true) {
        plan();
        end = std::min(end, parts_.size());
        const bool whole = first == 0 && end == parts_.size() && with_main;
        // The main function and its parts share one signature (a part finds
        // the flag of values not finite in the frame).
        std::vector<llvm::Type*> params{f32p_, f32p_, i8p_, i8p_, i32_, i8p_};
        auto* fn_type = llvm::FunctionType::get(i32_, params, false);
        std::vector<llvm::Function*> fns;
        for (std::size_t k = 0; k < parts_.size(); ++k) {
            const bool here = k >= first && k < end;
            if (!here && !with_main) continue;
            auto* f = llvm::Function::Create(
                fn_type, whole ? llvm::Function::InternalLinkage : llvm::Function::ExternalLinkage,
                name + "_" + std::to_string(k), m_);
            if (here) {
                // Inlined into one function the parts would compile as
                // slowly; a pass of one part is that part (a call fewer).
                f->addFnAttr(whole && parts_.size() == 1 && !end_in_main_
                                 ? llvm::Attribute::AlwaysInline
                                 : llvm::Attribute::NoInline);
                fast_ = parts_[k].pure && !rereads_written_slot(parts_[k].from, parts_[k].to);
                body(f, parts_[k].from, parts_[k].to, parts_[k].rolled);
                // Repeated units, and straight parts of compiled steps only:
                // in repeated units the minima of results are a chain from
                // unit to unit; in the steps of a small program they lie on
                // the chain from step to step. In the straight parts of a
                // pass's own code the slots tested at the end instead kept
                // more values in registers and ran slower.
                if (fast_ && level_ != 0 && vectors_ && (parts_[k].rolled > 1 || bound_straight_))
                    bounded_variant(f, k);
            }
            fns.push_back(f);
        }
        if (!with_main) return nullptr;
        llvm::Function* main =
            llvm::Function::Create(fn_type, llvm::Function::ExternalLinkage, name, m_);
        BasicBlock* entry = BasicBlock::Create(cx_, "entry", main);
        b_.SetInsertPoint(entry);
        Value* bad = b_.CreateBitCast(
            b_.CreateGEP(b_.getInt8Ty(), main->getArg(5), b_.getInt64(offsetof(native_frame, bad))),
            i32p_);
        b_.CreateStore(b_.getInt32(0), bad);
        std::vector<Value*> args;
        for (auto& a : main->args()) args.push_back(&a);
        for (llvm::Function* f : fns) {
            Value* r = b_.CreateCall(fn_type, f, args);
            BasicBlock* next = BasicBlock::Create(cx_, "next", main);
            BasicBlock* out = BasicBlock::Create(cx_, "out", main);
            b_.CreateCondBr(b_.CreateICmpEQ(r, b_.getInt32(0)), next, out, likely());
            b_.SetInsertPoint(out);
            b_.CreateRet(r);
            b_.SetInsertPoint(next);
        }
        if (end_in_main_) {
            Value* seen = b_.CreateICmpNE(b_.CreateLoad(i32_, bad), b_.getInt32(0));
            b_.CreateRet(b_.CreateSelect(
                seen, b_.getInt32(static_cast<std::uint32_t>(l_.ops.size())), b_.getInt32(0)));
        } else {
            b_.CreateRet(b_.getInt32(0));
        }
        return main;
    }

private:
    // Part k's bounded code, when it leaves minima out: f becomes the choice
    // between it and the code with every test (f's code so far), the first
    // until a slot is out of its bounds.
    void bounded_variant(llvm::Function* f, std::size_t k) {
        auto* type = f->getFunctionType();
        const std::string name = f->getName().str();
        auto* bounded =
            llvm::Function::Create(type, llvm::Function::InternalLinkage, name + "_bounded", m_);
        bounded->addFnAttr(llvm::Attribute::NoInline);
        bounded_ = true;
        body(bounded, parts_[k].from, parts_[k].to, parts_[k].rolled);
        bounded_ = false;
        if (dropped_minima_ == 0) {
            bounded->eraseFromParent();
            return;
        }
        ++bounded_parts;
        auto* full =
            llvm::Function::Create(type, llvm::Function::InternalLinkage, name + "_tested", m_);
        full->addFnAttr(llvm::Attribute::NoInline);
        full->getBasicBlockList().splice(full->begin(), f->getBasicBlockList());
        for (unsigned a = 0; a < f->arg_size(); ++a)
            f->getArg(a)->replaceAllUsesWith(full->getArg(a));
        auto* chosen = new llvm::GlobalVariable(m_, i32_, false, llvm::GlobalValue::InternalLinkage,
                                                b_.getInt32(0), name + "_tested_chosen");
        b_.SetInsertPoint(BasicBlock::Create(cx_, "entry", f));
        std::vector<Value*> args;
        for (auto& a : f->args()) args.push_back(&a);
        BasicBlock* tried = BasicBlock::Create(cx_, "tried", f);
        BasicBlock* kept = BasicBlock::Create(cx_, "kept", f);
        BasicBlock* change = BasicBlock::Create(cx_, "change", f);
        BasicBlock* tested = BasicBlock::Create(cx_, "tested", f);
        llvm::LoadInst* was = b_.CreateLoad(i32_, chosen);
        was->setAtomic(llvm::AtomicOrdering::Monotonic);
        was->setAlignment(llvm::Align(4));
        b_.CreateCondBr(b_.CreateICmpEQ(was, b_.getInt32(0)), tried, tested, likely());
        b_.SetInsertPoint(tried);
        Value* r = b_.CreateCall(type, bounded, args);
        b_.CreateCondBr(b_.CreateICmpEQ(r, b_.getInt32(unbounded_code)), change, kept, unlikely());
        b_.SetInsertPoint(kept);
        b_.CreateRet(r);
        b_.SetInsertPoint(change);
        llvm::StoreInst* set = b_.CreateStore(b_.getInt32(1), chosen);
        set->setAtomic(llvm::AtomicOrdering::Monotonic);
        set->setAlignment(llvm::Align(4));
        host(addr(&note_bound_miss), b_.getVoidTy(), {}, {});
        b_.CreateBr(tested);
        b_.SetInsertPoint(tested);
        b_.CreateRet(b_.CreateCall(type, full, args));
    }

    static constexpr std::size_t chunk_ops = 256, small_pass_ops = 256;
    // Repeated units compiled as one loop from this many on.
    static constexpr std::size_t min_rolled = 8;
    // Units computed in one turn of such a loop.
    static constexpr std::size_t rolled_turn = 4;
    static constexpr std::uint32_t max_native_states = 16;

    static bool is_pair(std::uint16_t c) { return c >= fo_pair_first && c < fo_count; }
    // Whether instruction k only computes and stores (no call that could
    // change other state, not the pass's end): the flat loop may compute such
    // runs again after their native code.
    bool pure_op(std::size_t k) const {
        std::uint16_t c = l_.ops[k].code;
        if (c >= fo_binary_first) return true; // the binary operations and pairs
        switch (c) {
        case fo_end:
            return k > 0 && is_pair(l_.ops[k - 1].code); // a pair's second half
        case fo_acc_s:
        case fo_acc_r:
        case fo_spill:
        case fo_reg_s:
        case fo_store_s:
        case fo_store_r:
        case fo_store_a:
        case fo_neg:
        case fo_not:
        case fo_lookup:
        case fo_lookup_s:
        case fo_if:
            return true;
        case fo_call:
        case fo_rate:
            return native_state(k) || native_builtin(k);
        default:
            return false;
        }
    }
    // Whether call k is the output or the rates of a smoothing or delay
    // computed here from its hidden states (as stateful_call and
    // state_rates in interp.cpp compute them); a pipeline delay, and one of
    // very many states, stays the engine's call.
    bool native_state(std::size_t k) const {
        const native_op& o = l_.ops[k];
        if (o.code != fo_call && o.code != fo_rate) return false;
        if (o.fn < fn_smooth || o.fn > fn_forecast || o.fn == fn_delay_fixed) return false;
        if (o.states == 0 || o.states > max_native_states) return false;
        return o.nargs >= (o.fn == fn_forecast ? 3u : 2u);
    }
    // The one-argument built-ins that are calls of the C library.
    using libm_fn = double (*)(double);
    static libm_fn library_function(std::uint32_t fn) {
        switch (fn) {
        case fn_exp:
            return static_cast<libm_fn>(std::exp);
        case fn_ln:
            return static_cast<libm_fn>(std::log);
        case fn_sin:
            return static_cast<libm_fn>(std::sin);
        case fn_cos:
            return static_cast<libm_fn>(std::cos);
        case fn_tan:
            return static_cast<libm_fn>(std::tan);
        case fn_arctan:
            return static_cast<libm_fn>(std::atan);
        case fn_arcsin:
            return static_cast<libm_fn>(std::asin);
        case fn_arccos:
            return static_cast<libm_fn>(std::acos);
        case fn_sinh:
            return static_cast<libm_fn>(std::sinh);
        case fn_cosh:
            return static_cast<libm_fn>(std::cosh);
        case fn_tanh:
            return static_cast<libm_fn>(std::tanh);
        default:
            return nullptr;
        }
    }
    // Whether call k is a built-in computed here as the engine's call()
    // computes it (the same C library functions, the same NA rules).
    bool native_builtin(std::size_t k) const {
        const native_op& o = l_.ops[k];
        if (o.code != fo_call) return false;
        switch (o.fn) {
        case fn_abs:
        case fn_sqrt:
        case fn_integer:
            return o.nargs == 1;
        case fn_power:
        case fn_modulo:
        case fn_log:
        case fn_step:
        case fn_pulse:
            return o.nargs == 2;
        case fn_safe_div:
            return o.nargs == 2 || o.nargs == 3;
        case fn_ramp:
            return o.nargs == 3;
        case fn_pulse_train:
            return o.nargs == 4;
        case fn_lookup_extrapolate:
        case fn_lookup_invert:
            return o.nargs == 1 && o.table >= 0;
        case fn_initial:
            return o.nargs == 1;
        case fn_sample_if_true:
            return o.nargs == 3;
        default:
            return o.nargs == 1 && library_function(o.fn);
        }
    }
    // Built-ins that read words of their unit (a table, a held value's slot)
    // that are not operands: computed unit by unit, never in a loop of
    // repeated units or in lanes.
    static bool unit_words(std::uint32_t fn) {
        return fn == fn_lookup_extrapolate || fn == fn_lookup_invert || fn == fn_initial ||
               fn == fn_sample_if_true;
    }
    static bool is_delay(std::uint32_t fn) { return fn >= fn_delay1 && fn <= fn_delay_n; }
    // Whether the instructions from..to store into a slot they read before
    // (computed again, they would read the new value).
    bool rereads_written_slot(std::size_t from, std::size_t to) const {
        std::set<std::pair<int, std::int64_t>> read;
        for (std::size_t k = from; k < to; ++k) {
            const native_op& o = l_.ops[k];
            bool pair_second = o.code == fo_end && k > from && is_pair(l_.ops[k - 1].code);
            bool stores = pair_second || o.code == fo_store_s || o.code == fo_store_r ||
                          o.code == fo_store_a ||
                          (o.code >= fo_binary_first && o.code < fo_pair_first &&
                           (o.code - fo_binary_first) % forms_per_binary >= ff_store);
            for (int f = 0; f < 3; ++f) {
                const native_operand& x = o.field[f];
                if (x.kind > nk_rate) continue;
                if (f == 2 && stores) {
                    if (read.count({x.kind, x.index})) return true;
                } else {
                    read.insert({x.kind, x.index});
                }
            }
        }
        return false;
    }

    // Branch weights: the rare ways out (NA, errors, a lookup's search) are
    // laid out of line, their spills kept off the common path.
    llvm::MDNode* likely() { return llvm::MDBuilder(cx_).createBranchWeights(2000, 1); }
    llvm::MDNode* unlikely() { return llvm::MDBuilder(cx_).createBranchWeights(1, 2000); }

    // A call of a host function by its address.
    Value* host(void* fn, llvm::Type* result, std::vector<llvm::Type*> types,
                std::vector<Value*> args) {
        // A call that does not return a number may write slots.
        if (unit_no_ && !result->isDoubleTy()) units_write_unknown_ = true;
        // Units in lanes make no calls: the part is built unit by unit.
        if (lanes_) {
            lanes_failed_ = true;
            return result->isVoidTy() ? nullptr : llvm::UndefValue::get(dtype());
        }
        auto* t = llvm::FunctionType::get(result, types, false);
        Value* p =
            b_.CreateIntToPtr(b_.getInt64(reinterpret_cast<std::uint64_t>(fn)), t->getPointerTo());
        return b_.CreateCall(t, p, args);
    }
    template <typename F> void* addr(F* f) { return reinterpret_cast<void*>(f); }
    // A call of fn on a rare path (a lookup leaving its segment), through a
    // stub that keeps every register: the C convention lets a call change
    // every vector register, so the values of the whole part were kept in
    // memory around each lookup; the stub saves them only when it runs.
    Value* cold_host(void* fn, llvm::Type* result, std::vector<llvm::Type*> types,
                     std::vector<Value*> args) {
        if (!fast_ || level_ == 0 || !result->isDoubleTy()) return host(fn, result, types, args);
        // The stub's result comes back through memory: the convention keeps
        // the register that would carry it too.
        llvm::Function*& stub = stubs_[fn];
        auto* t = llvm::FunctionType::get(result, types, false);
        std::vector<llvm::Type*> with_out = types;
        with_out.push_back(f64p_);
        auto* st = llvm::FunctionType::get(b_.getVoidTy(), with_out, false);
        if (!stub) {
            stub = llvm::Function::Create(st, llvm::Function::InternalLinkage,
                                          "kavrel_stub_" + std::to_string(stubs_.size()), m_);
            stub->setCallingConv(llvm::CallingConv::PreserveAll);
            stub->addFnAttr(llvm::Attribute::NoInline);
            stub->addFnAttr(llvm::Attribute::Cold);
            stub->addFnAttr(llvm::Attribute::NoUnwind);
            llvm::IRBuilder<> sb(BasicBlock::Create(cx_, "entry", stub));
            std::vector<Value*> forwarded;
            for (auto& a : stub->args()) forwarded.push_back(&a);
            Value* out = forwarded.back();
            forwarded.pop_back();
            Value* p = sb.CreateIntToPtr(sb.getInt64(reinterpret_cast<std::uint64_t>(fn)),
                                         t->getPointerTo());
            sb.CreateStore(sb.CreateCall(t, p, forwarded), out);
            sb.CreateRetVoid();
        }
        args.push_back(out_);
        b_.CreateCall(st, stub, args)->setCallingConv(llvm::CallingConv::PreserveAll);
        return b_.CreateLoad(f64_, out_);
    }

    // Doubles and floats: one each, or a vector of one per unit in lanes.
    llvm::Type* dtype() { return lanes_ ? llvm::FixedVectorType::get(f64_, lanes_) : f64_; }
    llvm::Type* ftype() { return lanes_ ? llvm::FixedVectorType::get(f32_, lanes_) : f32_; }
    Value* na() { return llvm::ConstantFP::get(dtype(), flat_na); }
    Value* dbl(double v) { return llvm::ConstantFP::get(dtype(), v); }
    // A number (or the same number in every lane), else null.
    static const llvm::ConstantFP* number(Value* v) {
        if (auto* c = llvm::dyn_cast<llvm::ConstantFP>(v)) return c;
        if (auto* c = llvm::dyn_cast<llvm::Constant>(v))
            if (v->getType()->isVectorTy())
                return llvm::dyn_cast_or_null<llvm::ConstantFP>(c->getSplatValue());
        return nullptr;
    }
    Value* flag(Value* cond) { return b_.CreateSelect(cond, dbl(1.0), dbl(0.0)); }
    Value* is_na(Value* x) { return b_.CreateFCmpOEQ(x, na()); }

    // The address of an operand slot (value or rate).
    Value* slot_ptr(const native_operand& o) {
        Value* base = o.kind == nk_rate ? rate_ : value_;
        return b_.CreateGEP(f32_, base, index_of(o));
    }
    // An operand's index: in a loop over repeated units, the first unit's
    // index plus the unit's number times the operand's stride.
    Value* index_of(const native_operand& o) {
        Value* first = b_.getInt64(static_cast<std::uint64_t>(o.index));
        if (!unit_no_) return first;
        auto s = stride_.find(&o);
        if (s == stride_.end() || s->second == 0) return first;
        return b_.CreateAdd(
            first, b_.CreateMul(unit_no_, b_.getInt64(static_cast<std::uint64_t>(s->second))));
    }
    // An operand read as a float (slot or number). A slot read again in a
    // fast part is the value read or stored before (nothing else writes the
    // arrays there), so its NA is noted once.
    Value* read_float(const native_operand& o) {
        if (o.kind == nk_number)
            return llvm::ConstantFP::get(ftype(), l_.numbers[static_cast<std::size_t>(o.index)]);
        if (lanes_) {
            // Units n..n+lanes-1: one vector load when a stride of 1 apart,
            // one value in every lane when the same slot, else one by one.
            const std::int64_t s = progression_of(o).stride;
            lane_reads_.push_back(progression_of(o));
            Value* first = slot_ptr(o);
            if (s == 1)
                return b_.CreateAlignedLoad(
                    ftype(), b_.CreateBitCast(first, ftype()->getPointerTo()), llvm::Align(4));
            if (s == 0) return b_.CreateVectorSplat(lanes_, b_.CreateLoad(f32_, first));
            if (s == 2 && lanes_ == 4) {
                // Slots 0, 2, 4, 6 from two loads of four (0-3 and 3-6: no
                // slot past the last one read), not four loads and inserts.
                Value* low = b_.CreateAlignedLoad(
                    ftype(), b_.CreateBitCast(first, ftype()->getPointerTo()), llvm::Align(4));
                Value* high =
                    b_.CreateAlignedLoad(ftype(),
                                         b_.CreateBitCast(b_.CreateGEP(f32_, first, b_.getInt64(3)),
                                                          ftype()->getPointerTo()),
                                         llvm::Align(4));
                return b_.CreateShuffleVector(low, high, llvm::ArrayRef<int>{0, 2, 5, 7});
            }
            Value* v = llvm::UndefValue::get(ftype());
            for (unsigned j = 0; j < lanes_; ++j)
                v = b_.CreateInsertElement(
                    v, b_.CreateLoad(f32_, b_.CreateGEP(f32_, first, b_.getInt64(j * s))), j);
            return v;
        }
        if (fast_ && !unit_no_) {
            Value*& v = known_[{o.kind, o.index}];
            if (!v) v = b_.CreateLoad(f32_, slot_ptr(o));
            return v;
        }
        return b_.CreateLoad(f32_, slot_ptr(o));
    }
    Value* read(const native_operand& o) {
        Value* f = read_float(o);
        if (!fast_) return b_.CreateFPExt(f, f64_);
        Value*& d = widened_[f];
        if (!d) d = b_.CreateFPExt(f, dtype());
        if (o.kind <= nk_rate && !unit_no_) slot_of_[d] = {o.kind, o.index};
        if (o.kind <= nk_rate && unit_no_) unit_slot_of_[d] = progression_of(o);
        return d;
    }
    // A fast part keeps its registers and accumulator as SSA values.
    Value* reg(std::uint32_t r) {
        if (!fast_) return b_.CreateLoad(f64_, regs_[r]);
        return unless_unset(fast_regs_[r]);
    }
    // Units in lanes: a register or accumulator read before the unit sets
    // it carries a value from unit to unit (the part is built unit by unit).
    Value* unless_unset(Value* v) {
        if (!lanes_ || v != unset_) return v;
        lanes_failed_ = true;
        return llvm::UndefValue::get(dtype());
    }
    void set_reg(std::uint32_t r, Value* v) {
        if (fast_)
            fast_regs_[r] = v;
        else
            b_.CreateStore(v, regs_[r]);
    }
    Value* acc() { return fast_ ? unless_unset(fast_acc_) : b_.CreateLoad(f64_, acc_); }
    void set_acc(Value* v) {
        if (fast_)
            fast_acc_ = v;
        else
            b_.CreateStore(v, acc_);
    }

    // Stores a float into the unit's target and notes whether it is finite.
    // finite: f is known to be finite (a copy of a slot that holds a finite
    // value), so it is stored without a test.
    void store_float(const native_operand& dst, Value* f, bool finite = false) {
        note_tested_store(dst);
        if (lanes_) {
            const std::int64_t s = progression_of(dst).stride;
            Value* first = slot_ptr(dst);
            if (s == 1) {
                b_.CreateAlignedStore(f, b_.CreateBitCast(first, ftype()->getPointerTo()),
                                      llvm::Align(4));
                if (dst.kind == nk_rate)
                    for (std::size_t t = 0; t + lanes_ <= roll_count_; t += lanes_)
                        lane_rate_stores_.insert(dst.index + static_cast<std::int64_t>(t));
            } else {
                // In the units' order (of one slot, the last unit's value stays).
                for (unsigned j = s == 0 ? lanes_ - 1 : 0; j < lanes_; ++j)
                    b_.CreateStore(b_.CreateExtractElement(f, j),
                                   b_.CreateGEP(f32_, first, b_.getInt64(j * s)));
            }
        } else {
            b_.CreateStore(f, slot_ptr(dst));
        }
        if (fast_ && unit_no_) {
            unit_writes_.push_back(progression_of(dst));
            if (!finite) note_finite(f);
            return;
        }
        if (fast_) {
            known_[{dst.kind, dst.index}] = f;
            // A slot noted and then stored again: its value read is noted now.
            auto again = noted_slots_.find({dst.kind, dst.index});
            if (again != noted_slots_.end()) {
                least(again->second);
                noted_slots_.erase(again);
            }
            if (!finite) note_finite(f);
            return;
        }
        if (finite) return;
        Value* bits = b_.CreateBitCast(f, i32_);
        Value* e = b_.CreateAnd(b_.CreateLShr(bits, 23), b_.getInt32(0xFF));
        Value* nf = b_.CreateZExt(b_.CreateICmpEQ(e, b_.getInt32(0xFF)), i32_);
        b_.CreateStore(b_.CreateOr(b_.CreateLoad(i32_, bad_), nf), bad_);
    }
    // The slots of dst (over the repeated units when in them).
    template <typename F> void each_slot(const native_operand& dst, F&& f) const {
        if (!unit_no_) {
            f(std::pair<int, std::int64_t>{dst.kind, dst.index});
            return;
        }
        const progression p = progression_of(dst);
        for (std::size_t k = 0; k < roll_count_; ++k)
            f(std::pair<int, std::int64_t>{dst.kind,
                                           p.first + p.stride * static_cast<std::int64_t>(k)});
    }
    void note_tested_store(const native_operand& dst) {
        each_slot(dst, [&](const std::pair<int, std::int64_t>& s) { tested_stores_.insert(s); });
    }
    // Whether every slot of o holds a finite value when the pass runs.
    bool finite_slot(const native_operand& o) const {
        if (!finite_before_ || o.kind != nk_value) return false;
        bool all = true;
        each_slot(o, [&](const std::pair<int, std::int64_t>& s) {
            all = all && finite_before_->count(s) != 0;
        });
        return all;
    }
    // In a fast part: adds a stored float to a sum, which stays finite
    // unless a value is not finite (or, rarely, finite values overflow it:
    // then the flat loop computes the part again and finds them finite).
    void note_finite(Value* f) {
        if (auto* c = number(f))
            if (c->getValueAPF().isFinite()) return;
        Value*& s = f->getType()->isVectorTy() ? lane_finite_[next_finite_++ % lane_finite_.size()]
                                               : finite_[next_finite_++ % finite_.size()];
        s = b_.CreateFAdd(s, f);
        if (auto* add = llvm::dyn_cast<llvm::Instruction>(s)) finite_adds_.push_back({f, add});
    }
    // A stored value that flows into a later stored value of the same block
    // through operations that keep a value not finite (+, -, *, a dividend,
    // a conversion, a sign, ABS) needs no place in the sums: if it is not
    // finite, neither is the later one, whose sum sends the part to the flat
    // loop, which names the first. In a chain of auxiliaries most stored
    // values feed the next one, and their sums were a fifth of the code.
    void drop_covered_sums() {
        std::map<Value*, BasicBlock*> noted;
        std::set<Value*> adds;
        for (const finite_add& n : finite_adds_) {
            noted.emplace(n.value, n.add->getParent());
            adds.insert(n.add);
        }
        auto covered = [&](Value* f, BasicBlock* bb) {
            std::vector<Value*> todo{f};
            std::set<Value*> seen{f};
            while (!todo.empty() && seen.size() < 64) {
                Value* v = todo.back();
                todo.pop_back();
                for (llvm::Use& u : v->uses()) {
                    auto* i = llvm::dyn_cast<llvm::Instruction>(u.getUser());
                    if (!i || adds.count(i)) continue;
                    bool keeps = false;
                    switch (i->getOpcode()) {
                    case llvm::Instruction::FPExt:
                    case llvm::Instruction::FPTrunc:
                    case llvm::Instruction::FAdd:
                    case llvm::Instruction::FSub:
                    case llvm::Instruction::FMul:
                    case llvm::Instruction::FNeg:
                        keeps = true;
                        break;
                    case llvm::Instruction::FDiv: // x / inf is 0
                        keeps = u.getOperandNo() == 0;
                        break;
                    case llvm::Instruction::Call:
                        if (auto* in = llvm::dyn_cast<llvm::IntrinsicInst>(i))
                            keeps = in->getIntrinsicID() == llvm::Intrinsic::fabs;
                        break;
                    default:
                        break;
                    }
                    if (!keeps || !seen.insert(i).second) continue;
                    auto at = noted.find(i);
                    if (at != noted.end() && at->second == bb) return true;
                    todo.push_back(i);
                }
            }
            return false;
        };
        for (const finite_add& n : finite_adds_) {
            if (!covered(n.value, n.add->getParent())) continue;
            Value* before = n.add->getOperand(0);
            for (Value*& v : finite_)
                if (v == n.add) v = before;
            for (Value*& v : lane_finite_)
                if (v == n.add) v = before;
            n.add->replaceAllUsesWith(before);
            n.add->eraseFromParent();
        }
        finite_adds_.clear();
    }
    void store(const native_operand& dst, Value* d) {
        store_float(dst, b_.CreateFPTrunc(d, ftype()));
    }

    // Returns k + 1 when a value stored so far is not finite (before k).
    void check(std::size_t k) {
        Value* bad = b_.CreateLoad(i32_, bad_);
        BasicBlock* fail = BasicBlock::Create(cx_, "notfinite", fn_);
        BasicBlock* go = BasicBlock::Create(cx_, "go", fn_);
        b_.CreateCondBr(b_.CreateICmpNE(bad, b_.getInt32(0)), fail, go, unlikely());
        b_.SetInsertPoint(fail);
        b_.CreateRet(b_.getInt32(static_cast<std::uint32_t>(k + 1)));
        b_.SetInsertPoint(go);
    }
    // Returns -1 (the error is in the frame) when r is not 0.
    void on_error(Value* r) {
        BasicBlock* fail = BasicBlock::Create(cx_, "error", fn_);
        BasicBlock* go = BasicBlock::Create(cx_, "go", fn_);
        b_.CreateCondBr(b_.CreateICmpNE(r, b_.getInt32(0)), fail, go, unlikely());
        b_.SetInsertPoint(fail);
        b_.CreateRet(b_.getInt32(static_cast<std::uint32_t>(-1)));
        b_.SetInsertPoint(go);
    }
    // The pointer in the third word of bound instruction k (a call's code).
    Value* bound_pointer(std::size_t k) {
        Value* p = b_.CreateGEP(b_.getInt8Ty(), ops_,
                                b_.getInt64(k * sizeof(flat_op) + 3 * sizeof(void*)));
        return b_.CreateLoad(i8p_, b_.CreateBitCast(p, i8p_->getPointerTo()));
    }
    // The arguments of a call, registers a.. copied into the argument array.
    Value* call_args(std::uint32_t a, std::uint32_t n) {
        for (std::uint32_t k = 0; k < n; ++k)
            b_.CreateStore(reg(a + k), b_.CreateConstGEP1_32(f64_, args_, k));
        return args_;
    }

    // In a fast part: notes an operand whose NA would change the result. NA
    // is the most negative value in use (-2^110), so the least of them tells
    // whether one may be NA.
    void note(Value* x) {
        if (covered(x)) return;
        if (!noted_.insert(x).second) return;
        // A value read from a slot is still there at the part's end: the
        // slots are scanned there, several at once (with vector operations).
        // Bounded code notes a value this part stored there now: it is in a
        // register, and the bound of the computation that stored it usually
        // leaves its minimum out.
        auto from = slot_of_.find(x);
        if (vectors_ && from != slot_of_.end() && (!bounded_ || read_from_memory(x))) {
            noted_slots_[from->second] = x;
            return;
        }
        Value* m = least(x);
        auto in_units = unit_slot_of_.find(x);
        if (auto* select = llvm::dyn_cast<llvm::SelectInst>(m)) {
            if (in_units != unit_slot_of_.end())
                unit_reads_.push_back({select, in_units->second});
            else if (bounded_)
                candidates_.push_back({x, select});
        }
    }
    // Whether x at or below NA would already show in the minima (or NA is
    // out of its reach), so that it needs no minimum of its own: a number
    // above NA; a value noted before; a choice between such values (IF THEN
    // ELSE, MAX and MIN of noted values: their result is one of them); MAX
    // with a number, whose result is at least that number (or NaN); a
    // square, ABS or SQRT (at least 0, or NaN); a sum with a number not
    // below 0 (not below the other operand). NaN is never at or below NA.
    bool covered(Value* x, int depth = 0) {
        if (auto* c = number(x)) {
            const double v = c->getValueAPF().convertToDouble();
            return v > flat_na || std::isnan(v);
        }
        if (noted_.count(x)) return true;
        if (depth > 6) return false;
        auto* i = llvm::dyn_cast<llvm::Instruction>(x);
        if (!i) return false;
        auto non_negative = [&](Value* v) {
            const llvm::ConstantFP* c = number(v);
            return c && c->getValueAPF().convertToDouble() >= 0;
        };
        switch (i->getOpcode()) {
        case llvm::Instruction::Select: {
            auto* s = llvm::cast<llvm::SelectInst>(i);
            Value *a = s->getTrueValue(), *b = s->getFalseValue();
            if (auto* c = llvm::dyn_cast<llvm::ConstantInt>(s->getCondition()))
                return covered(c->isOne() ? a : b, depth + 1);
            if (covered(a, depth + 1) && covered(b, depth + 1)) return true;
            // MAX(b, a) with a a number: b < a ? a : b.
            auto* test = llvm::dyn_cast<llvm::FCmpInst>(s->getCondition());
            const llvm::ConstantFP* n = number(a);
            return test && n && !n->getValueAPF().isNaN() &&
                   n->getValueAPF().convertToDouble() > flat_na &&
                   test->getPredicate() == llvm::FCmpInst::FCMP_OLT && test->getOperand(0) == b &&
                   test->getOperand(1) == a;
        }
        case llvm::Instruction::FMul:
            return i->getOperand(0) == i->getOperand(1);
        case llvm::Instruction::FAdd:
            return (non_negative(i->getOperand(1)) && covered(i->getOperand(0), depth + 1)) ||
                   (non_negative(i->getOperand(0)) && covered(i->getOperand(1), depth + 1));
        case llvm::Instruction::Call:
            if (auto* in = llvm::dyn_cast<llvm::IntrinsicInst>(i))
                return in->getIntrinsicID() == llvm::Intrinsic::fabs ||
                       in->getIntrinsicID() == llvm::Intrinsic::sqrt;
            return false;
        default:
            return false;
        }
    }
    // Whether a slot's value widened is as read from memory (not a value
    // this part stored there).
    static bool read_from_memory(Value* widened) {
        auto* i = llvm::dyn_cast<llvm::Instruction>(widened);
        return i && i->getNumOperands() > 0 && llvm::isa<llvm::LoadInst>(i->getOperand(0));
    }
    Value* least(Value* x) {
        Value*& m = x->getType()->isVectorTy() ? lane_least_[next_least_++ % lane_least_.size()]
                                               : least_[next_least_++ % least_.size()];
        m = b_.CreateSelect(b_.CreateFCmpOLT(x, m), x, m);
        return m;
    }

    // The slots an operand of repeated units goes through: unit n's is
    // first + n stride (in the rate array or the value array).
    struct progression {
        bool rate;
        std::int64_t first, stride;
        bool operator<(const progression& o) const {
            return std::tie(rate, first, stride) < std::tie(o.rate, o.first, o.stride);
        }
    };
    progression progression_of(const native_operand& o) const {
        auto s = stride_.find(&o);
        return {o.kind == nk_rate, o.index, s == stride_.end() ? 0 : s->second};
    }
    // In repeated units, the minima of slots read that nothing in the units
    // writes are taken out of the units (they were a third of a unit's
    // instructions and a chain from unit to unit) and the slots scanned at
    // the part's end instead, 8 at a time.
    // The lowest and highest slot of p over count units.
    static std::pair<std::int64_t, std::int64_t> span(const progression& p, std::size_t count) {
        std::int64_t a = p.first, b = p.first + p.stride * static_cast<std::int64_t>(count - 1);
        return {std::min(a, b), std::max(a, b)};
    }
    // Whether the repeated units store into a slot of p (over count units).
    bool stored_by_units(const progression& p, std::size_t count) const {
        auto [lo, hi] = span(p, count);
        for (const progression& w : unit_writes_) {
            auto [wlo, whi] = span(w, count);
            if (w.rate == p.rate && wlo <= hi && lo <= whi) return true;
        }
        return false;
    }
    // Notes p's slots for the scan at the part's end when it can be made
    // after the units (nothing in them stores there, a stride 8 lanes
    // take); false when not.
    bool scan_after_units(const progression& p, std::size_t count) {
        const std::int64_t s = std::abs(p.stride);
        if (units_write_unknown_ || (s != 0 && 8 % s != 0) || stored_by_units(p, count))
            return false;
        scans_.insert(
            {p.stride < 0 ? progression{p.rate, span(p, count).first, -p.stride} : p, count});
        return true;
    }
    // Takes a minimum out of its chain (the chain goes on from the one
    // before it).
    void drop_minimum(llvm::SelectInst* select) {
        Value* before = select->getFalseValue();
        for (Value*& v : least_)
            if (v == select) v = before;
        for (Value*& v : lane_least_)
            if (v == select) v = before;
        auto* test = llvm::dyn_cast<llvm::Instruction>(select->getCondition());
        select->replaceAllUsesWith(before);
        select->eraseFromParent();
        if (test && test->use_empty()) test->eraseFromParent();
    }
    void scan_unit_reads(std::size_t count) {
        for (const unit_read& r : unit_reads_)
            if (scan_after_units(r.p, count)) drop_minimum(r.select);
        // Bounded code: every read the units' scans can cover is a value of
        // known magnitude (its slots are scanned at the part's end).
        if (bounded_)
            for (const auto& [value, p] : unit_slot_of_)
                if (scan_after_units(p, count)) scanned_reads_.insert(value);
        unit_reads_.clear();
        unit_slot_of_.clear();
    }

    // Bounded code. An intermediate result is NA only when it is exactly
    // -2^110: computed from values under 2^B in magnitude by sums,
    // products, signs, MIN, MAX, IF THEN ELSE and divisions by numbers, its
    // magnitude has a bound 2^(d B + c) known here, and when that is under
    // 2^109 it cannot be NA. Such code tests the magnitude of the slots it
    // reads at its end (in place of their NA) and leaves out the minima of
    // those results; when a slot is 2^B or more (or NA), the part's code
    // with every test runs instead, from then on.
    struct growth {
        int d;
        double c;
    };
    std::optional<growth> growth_of(Value* v, std::map<Value*, std::optional<growth>>& memo,
                                    std::vector<Value*>& reads) {
        auto at = memo.find(v);
        if (at != memo.end()) return at->second;
        memo[v] = std::nullopt; // a cycle through a loop's values has no bound
        std::optional<growth> g;
        constexpr double margin = 1e-6; // for the rounding of each operation
        auto both = [&](Value* a, Value* b) -> std::optional<std::pair<growth, growth>> {
            auto x = growth_of(a, memo, reads), y = growth_of(b, memo, reads);
            if (!x || !y) return std::nullopt;
            return std::make_pair(*x, *y);
        };
        if (auto* c = number(v)) {
            double x = std::fabs(c->getValueAPF().convertToDouble());
            if (x == 0)
                g = growth{0, -1000};
            else if (std::isfinite(x))
                g = growth{0, std::log2(x) + margin};
        } else if (auto slot = slot_of_.find(v); slot != slot_of_.end() && read_from_memory(v)) {
            // A slot read in the straight code: its value is still in the slot
            // at the end (the part stores nothing over it afterwards).
            auto* widened = llvm::dyn_cast<llvm::Instruction>(v);
            auto now = known_.find(slot->second);
            if (widened && now != known_.end() && now->second == widened->getOperand(0)) {
                g = growth{1, 0};
                reads.push_back(v);
            }
        } else if (scanned_reads_.count(v)) {
            g = growth{1, 0};
        } else if (auto* i = llvm::dyn_cast<llvm::Instruction>(v)) {
            switch (i->getOpcode()) {
            case llvm::Instruction::FPExt:
            case llvm::Instruction::FNeg:
                g = growth_of(i->getOperand(0), memo, reads);
                break;
            case llvm::Instruction::FPTrunc:
                if ((g = growth_of(i->getOperand(0), memo, reads))) g->c += margin;
                break;
            case llvm::Instruction::FAdd:
            case llvm::Instruction::FSub:
                if (auto p = both(i->getOperand(0), i->getOperand(1)))
                    g = growth{std::max(p->first.d, p->second.d),
                               std::max(p->first.c, p->second.c) + 1 + margin};
                break;
            case llvm::Instruction::FMul:
                if (auto p = both(i->getOperand(0), i->getOperand(1)))
                    g = growth{p->first.d + p->second.d, p->first.c + p->second.c + margin};
                break;
            case llvm::Instruction::FDiv:
                if (auto* c = number(i->getOperand(1))) {
                    double x = std::fabs(c->getValueAPF().convertToDouble());
                    if (x != 0 && std::isfinite(x))
                        if ((g = growth_of(i->getOperand(0), memo, reads)))
                            g->c += -std::log2(x) + margin;
                }
                break;
            case llvm::Instruction::Select:
                if (auto p = both(i->getOperand(1), i->getOperand(2)))
                    g = growth{std::max(p->first.d, p->second.d),
                               std::max(p->first.c, p->second.c)};
                break;
            case llvm::Instruction::PHI: {
                auto* phi = llvm::cast<llvm::PHINode>(i);
                growth most{0, -1000};
                bool all = true;
                for (Value* in : phi->incoming_values()) {
                    auto x = growth_of(in, memo, reads);
                    if (!x) {
                        all = false;
                        break;
                    }
                    most = {std::max(most.d, x->d), std::max(most.c, x->c)};
                }
                if (all) g = most;
                break;
            }
            case llvm::Instruction::Call:
                if (auto* in = llvm::dyn_cast<llvm::IntrinsicInst>(i))
                    if (in->getIntrinsicID() == llvm::Intrinsic::fabs)
                        g = growth_of(i->getOperand(0), memo, reads);
                break;
            default:
                break;
            }
        }
        memo[v] = g;
        return g;
    }
    // Chooses B for the part (at least 2^30, the largest that bounds every
    // result it can bound) and leaves out the minima of the results so
    // bounded; the slots the bounds rest on are scanned.
    void drop_bounded_minima() {
        constexpr double limit = 108.5;
        std::map<Value*, std::optional<growth>> memo;
        struct found {
            candidate c;
            growth g;
            std::vector<Value*> reads;
        };
        std::vector<found> all;
        double b = 100;
        for (const candidate& c : candidates_) {
            std::vector<Value*> reads;
            std::map<Value*, std::optional<growth>> own; // reads per candidate
            auto g = growth_of(c.x, own, reads);
            if (!g) continue;
            if (g->d > 0) {
                double most = (limit - g->c) / g->d;
                if (most < 30) continue;
                b = std::min(b, most);
            } else if (g->c >= limit) {
                continue;
            }
            all.push_back({c, *g, std::move(reads)});
        }
        bound_exp_ = std::floor(b);
        for (const found& f : all) {
            if (f.g.d * bound_exp_ + f.g.c >= limit) continue;
            drop_minimum(f.c.select);
            for (Value* r : f.reads) noted_slots_.emplace(slot_of_[r], r);
            ++dropped_minima_;
        }
        candidates_.clear();
    }
    // The progressions to scan, those of one stride s whose first slots are
    // s neighbours (together every slot of a stretch) made one of stride 1:
    // the world-size model's rates read x and f, two apart, side by side.
    std::set<std::pair<progression, std::size_t>> merged_scans() const {
        std::set<std::pair<progression, std::size_t>> out = scans_;
        for (const auto& [p, count] : scans_) {
            if (p.stride < 2 || !out.count({p, count})) continue;
            bool all = true;
            for (std::int64_t k = 1; k < p.stride && all; ++k)
                all = out.count({{p.rate, p.first + k, p.stride}, count}) != 0;
            if (!all) continue;
            for (std::int64_t k = 0; k < p.stride; ++k)
                out.erase({{p.rate, p.first + k, p.stride}, count});
            out.insert({{p.rate, p.first, 1}, count * static_cast<std::size_t>(p.stride)});
        }
        return out;
    }
    // Whether a slot of the scanned progressions may hold NA.
    Value* scan_progressions() {
        Value* any = nullptr;
        auto* v8 = llvm::FixedVectorType::get(f32_, 8);
        Value* na8 = llvm::ConstantVector::getSplat(llvm::ElementCount::getFixed(8),
                                                    llvm::ConstantFP::get(f32_, flat_na));
        Value* inf8 = llvm::ConstantVector::getSplat(llvm::ElementCount::getFixed(8),
                                                     llvm::ConstantFP::getInfinity(f32_));
        auto lanes = [&](std::int64_t from_first, std::int64_t stride) {
            std::vector<llvm::Constant*> m;
            for (std::int64_t j = 0; j < 8; ++j)
                m.push_back(b_.getInt1((from_first + j) % stride == 0));
            return llvm::ConstantVector::get(m);
        };
        auto vector_at = [&](Value* base, Value* index) {
            Value* p = b_.CreateGEP(f32_, base, index);
            return b_.CreateAlignedLoad(v8, b_.CreateBitCast(p, v8->getPointerTo()),
                                        llvm::Align(4));
        };
        // Bounded code: the largest magnitude, against 2^B.
        const bool magnitude = bounded_;
        Value* fill = inf8;
        if (magnitude)
            fill = llvm::ConstantVector::getSplat(llvm::ElementCount::getFixed(8),
                                                  llvm::ConstantFP::get(f32_, 0.0));
        Value* over8 = llvm::ConstantVector::getSplat(
            llvm::ElementCount::getFixed(8),
            llvm::ConstantFP::get(f32_, std::ldexp(1.0, static_cast<int>(bound_exp_))));
        auto least_of = [&](Value* m, Value* v) {
            if (magnitude) {
                v = b_.CreateUnaryIntrinsic(llvm::Intrinsic::fabs, v);
                return b_.CreateSelect(b_.CreateFCmpOGT(v, m), v, m);
            }
            return b_.CreateSelect(b_.CreateFCmpOLT(v, m), v, m);
        };
        inf8 = fill;
        na8 = magnitude ? over8 : na8;
        for (const auto& [p, count] : merged_scans()) {
            Value* base = p.rate ? rate_ : value_;
            Value* c;
            if (p.stride == 0) {
                Value* f = b_.CreateLoad(f32_, b_.CreateGEP(f32_, base, b_.getInt64(p.first)));
                if (magnitude)
                    c = b_.CreateFCmpOGE(
                        b_.CreateUnaryIntrinsic(llvm::Intrinsic::fabs, f),
                        llvm::ConstantFP::get(f32_, std::ldexp(1.0, static_cast<int>(bound_exp_))));
                else
                    c = b_.CreateFCmpOLE(f, llvm::ConstantFP::get(f32_, flat_na));
            } else {
                const std::int64_t len = p.stride * static_cast<std::int64_t>(count - 1) + 1;
                const std::int64_t whole = len / 8;
                Value* keep = lanes(0, p.stride);
                // Four running extremes over 32 slots a turn, not one over
                // 8: each extreme waits for the one before, and one chain
                // made a scan of a few hundred slots wait on its latency.
                constexpr std::int64_t ways = 4;
                std::array<Value*, ways> acc_of{inf8, inf8, inf8, inf8};
                const std::int64_t turns = whole / ways;
                if (turns > 0) {
                    BasicBlock* pre = b_.GetInsertBlock();
                    BasicBlock* loop = BasicBlock::Create(cx_, "scan", fn_);
                    BasicBlock* after = BasicBlock::Create(cx_, "scanned", fn_);
                    b_.CreateBr(loop);
                    b_.SetInsertPoint(loop);
                    llvm::PHINode* k = b_.CreatePHI(i64_, 2);
                    k->addIncoming(b_.getInt64(0), pre);
                    std::array<llvm::PHINode*, ways> acc{};
                    for (std::int64_t w = 0; w < ways; ++w) {
                        acc[w] = b_.CreatePHI(v8, 2);
                        acc[w]->addIncoming(inf8, pre);
                    }
                    for (std::int64_t w = 0; w < ways; ++w) {
                        Value* at = b_.CreateAdd(b_.getInt64(p.first + 8 * w), k);
                        acc_of[w] =
                            least_of(acc[w], b_.CreateSelect(keep, vector_at(base, at), inf8));
                    }
                    Value* next = b_.CreateAdd(k, b_.getInt64(8 * ways));
                    k->addIncoming(next, loop);
                    for (std::int64_t w = 0; w < ways; ++w) acc[w]->addIncoming(acc_of[w], loop);
                    b_.CreateCondBr(b_.CreateICmpULT(next, b_.getInt64(turns * 8 * ways)), loop,
                                    after);
                    b_.SetInsertPoint(after);
                }
                for (std::int64_t j = turns * ways; j < whole; ++j) {
                    Value*& a = acc_of[static_cast<std::size_t>(j % ways)];
                    a = least_of(a, b_.CreateSelect(
                                        keep, vector_at(base, b_.getInt64(p.first + 8 * j)), inf8));
                }
                Value* m = least_of(least_of(acc_of[0], acc_of[1]), least_of(acc_of[2], acc_of[3]));
                if (len % 8) {
                    // The last 8 slots, overlapping the ones before.
                    Value* v = vector_at(base, b_.getInt64(p.first + len - 8));
                    m = least_of(m, b_.CreateSelect(lanes(len - 8, p.stride), v, inf8));
                }
                Value* hit = magnitude ? b_.CreateFCmpOGE(m, na8) : b_.CreateFCmpOLE(m, na8);
                c = b_.CreateICmpNE(b_.CreateBitCast(hit, b_.getInt8Ty()), b_.getInt8(0));
            }
            any = any ? b_.CreateOr(any, c) : c;
        }
        return any;
    }
    // Whether a slot noted in the part may hold NA: runs of neighbouring
    // slots are read 8 or 4 at a time (the last read of a run overlapping
    // the one before), the least of each lane compared with NA.
    Value* scan_noted_slots() {
        // The loads of each width, reduced as a balanced tree at the end: a
        // part reads dozens of scattered slots, and one running minimum of
        // them was a chain of dependent minima as long as the part.
        std::array<std::vector<Value*>, 9> acc{};
        auto add = [&](const native_operand& at, unsigned w) {
            Value* p = slot_ptr(at);
            Value* v;
            if (w == 1) {
                v = b_.CreateLoad(f32_, p);
            } else {
                auto* t = llvm::FixedVectorType::get(f32_, w);
                v = b_.CreateAlignedLoad(t, b_.CreateBitCast(p, t->getPointerTo()), llvm::Align(4));
            }
            if (bounded_) v = b_.CreateUnaryIntrinsic(llvm::Intrinsic::fabs, v);
            acc[w].push_back(v);
        };
        for (auto i = noted_slots_.begin(); i != noted_slots_.end();) {
            auto j = i;
            std::int64_t n = 1;
            for (++j; j != noted_slots_.end() && j->first.first == i->first.first &&
                      j->first.second == i->first.second + n;
                 ++j)
                ++n;
            const unsigned w = n >= 8 ? 8 : n >= 4 ? 4 : 1;
            for (std::int64_t off = 0;; off += w) {
                if (off + w > n) off = n - w;
                add({static_cast<std::uint8_t>(i->first.first), i->first.second + off}, w);
                if (off + w >= n) break;
            }
            i = j;
        }
        Value* any = nullptr;
        for (unsigned w : {1u, 4u, 8u}) {
            std::vector<Value*>& l = acc[w];
            if (l.empty()) continue;
            while (l.size() > 1) {
                std::size_t half = (l.size() + 1) / 2;
                for (std::size_t k = 0; k + half < l.size(); ++k)
                    l[k] = b_.CreateSelect(bounded_ ? b_.CreateFCmpOGT(l[k + half], l[k])
                                                    : b_.CreateFCmpOLT(l[k + half], l[k]),
                                           l[k + half], l[k]);
                l.resize(half);
            }
            // Bounded code: the largest magnitude against 2^B (NA is larger).
            Value* c =
                bounded_
                    ? b_.CreateFCmpOGE(
                          l[0], llvm::ConstantFP::get(
                                    l[0]->getType(), std::ldexp(1.0, static_cast<int>(bound_exp_))))
                    : b_.CreateFCmpOLE(l[0], llvm::ConstantFP::get(l[0]->getType(), flat_na));
            if (w > 1) c = b_.CreateICmpNE(b_.CreateBitCast(c, b_.getIntNTy(w)), b_.getIntN(w, 0));
            any = any ? b_.CreateOr(any, c) : c;
        }
        return any;
    }
    // r, or NA when x or y is NA.
    Value* na_or(Value* x, Value* y, Value* r) {
        if (fast_) {
            note(x);
            if (y) note(y);
            return r;
        }
        Value* either = y ? b_.CreateOr(is_na(x), is_na(y)) : is_na(x);
        return b_.CreateSelect(either, na(), r);
    }
    // + - * / with NA (arith in flat.cpp).
    Value* arith(int k, Value* x, Value* y) {
        Value* r = k == 0   ? b_.CreateFAdd(x, y)
                   : k == 1 ? b_.CreateFSub(x, y)
                   : k == 2 ? b_.CreateFMul(x, y)
                            : b_.CreateFDiv(x, y);
        return na_or(x, y, r);
    }
    Value* binary(int index, Value* x, Value* y) {
        switch (index) {
        case 0:
        case 1:
        case 2:
        case 3:
            return arith(index, x, y);
        case 4: {
            return na_or(x, y, host(addr(&call_pow), f64_, {f64_, f64_}, {x, y}));
        }
        case 5:
            return flag(b_.CreateFCmpOEQ(x, y));
        case 6:
            return flag(b_.CreateFCmpUNE(x, y));
        case 7:
            return flag(b_.CreateFCmpOLT(x, y));
        case 8:
            return flag(b_.CreateFCmpOLE(x, y));
        case 9:
            return flag(b_.CreateFCmpOGT(x, y));
        case 10:
            return flag(b_.CreateFCmpOGE(x, y));
        case 11:
            return flag(b_.CreateAnd(b_.CreateFCmpUNE(x, dbl(0)), b_.CreateFCmpUNE(y, dbl(0))));
        case 12:
            return flag(b_.CreateOr(b_.CreateFCmpUNE(x, dbl(0)), b_.CreateFCmpUNE(y, dbl(0))));
        case 13: // value_min: y NaN ? y : y < x ? y : x (the inner select one instruction)
            return b_.CreateSelect(b_.CreateFCmpUNO(y, y), y,
                                   b_.CreateSelect(b_.CreateFCmpOLT(y, x), y, x));
        default: // value_max: y NaN ? y : x < y ? y : x, NA first
            return na_or(x, y,
                         b_.CreateSelect(b_.CreateFCmpUNO(y, y), y,
                                         b_.CreateSelect(b_.CreateFCmpOLT(x, y), y, x)));
        }
    }
    Value* global(double* at) {
        Value* v = b_.CreateLoad(
            f64_, b_.CreateIntToPtr(b_.getInt64(reinterpret_cast<std::uint64_t>(at)), f64p_));
        return lanes_ ? b_.CreateVectorSplat(lanes_, v) : v;
    }
    // The value of a built-in call (native_builtin), as call() in interp.cpp.
    Value* builtin_value(const native_op& o) {
        Value* x = reg(o.a);
        auto arg = [&](std::uint32_t k) { return reg(o.a + k); };
        using two = double (*)(double, double);
        auto call2 = [&](two f, Value* p, Value* q) {
            return host(addr(f), f64_, {f64_, f64_}, {p, q});
        };
        switch (o.fn) {
        case fn_abs:
            return na_or(x, nullptr, b_.CreateUnaryIntrinsic(llvm::Intrinsic::fabs, x));
        case fn_sqrt:
            return na_or(x, nullptr, b_.CreateUnaryIntrinsic(llvm::Intrinsic::sqrt, x));
        case fn_integer:
            return na_or(x, nullptr, b_.CreateUnaryIntrinsic(llvm::Intrinsic::trunc, x));
        case fn_power:
            return na_or(x, arg(1), call2(static_cast<two>(std::pow), x, arg(1)));
        case fn_modulo:
            return na_or(x, arg(1), call2(static_cast<two>(std::fmod), x, arg(1)));
        case fn_log: {
            libm_fn ln = static_cast<libm_fn>(std::log);
            Value* top = host(addr(ln), f64_, {f64_}, {x});
            Value* base = host(addr(ln), f64_, {f64_}, {arg(1)});
            return na_or(x, arg(1), b_.CreateFDiv(top, base));
        }
        case fn_safe_div: {
            Value* d = arg(1);
            Value* zero = o.nargs > 2 ? arg(2) : dbl(0);
            return na_or(x, d,
                         b_.CreateSelect(b_.CreateFCmpOEQ(d, dbl(0)), zero, b_.CreateFDiv(x, d)));
        }
        case fn_step: {
            Value* t = b_.CreateFAdd(global(&sim_time), b_.CreateFDiv(global(&sim_dt), dbl(2)));
            return b_.CreateSelect(b_.CreateFCmpOGT(t, arg(1)), x, dbl(0));
        }
        case fn_pulse: {
            Value* dt = global(&sim_dt);
            Value* t = b_.CreateFAdd(global(&sim_time), b_.CreateFDiv(dt, dbl(2)));
            Value* w = b_.CreateSelect(b_.CreateFCmpOLT(arg(1), dt), dt, arg(1)); // std::max
            Value* on =
                b_.CreateAnd(b_.CreateFCmpOGT(t, x), b_.CreateFCmpOLT(t, b_.CreateFAdd(x, w)));
            return flag(on);
        }
        case fn_ramp: {
            Value* t = global(&sim_time);
            Value* start = arg(1);
            Value* end = arg(2);
            Value* least = b_.CreateSelect(b_.CreateFCmpOLT(end, t), end, t); // std::min
            return b_.CreateSelect(b_.CreateFCmpOLE(t, start), dbl(0),
                                   b_.CreateFMul(x, b_.CreateFSub(least, start)));
        }
        case fn_pulse_train: {
            // As pulse_train in interp.cpp: off up to the start and after
            // the end, one pulse when the interval is not positive.
            Value* time = global(&sim_time);
            Value* dt = global(&sim_dt);
            Value* t = b_.CreateFAdd(time, b_.CreateFDiv(dt, dbl(2)));
            Value* width = arg(1);
            Value* interval = arg(2);
            Value* w = b_.CreateSelect(b_.CreateFCmpOLT(width, dt), dt, width);
            Value* off = b_.CreateOr(b_.CreateFCmpOLE(t, x), b_.CreateFCmpOGT(time, arg(3)));
            Value* once = flag(b_.CreateFCmpOLT(t, b_.CreateFAdd(x, w)));
            Value* phase = call2(static_cast<two>(std::fmod), b_.CreateFSub(t, x), interval);
            // On a pulse's start (phase 0) the pulse before it is on while
            // pulses are wider than the interval.
            Value* again = flag(b_.CreateSelect(
                b_.CreateFCmpOGT(phase, dbl(0)), b_.CreateFCmpOLT(phase, w),
                b_.CreateAnd(b_.CreateFCmpOEQ(phase, dbl(0)), b_.CreateFCmpOLT(interval, w))));
            return b_.CreateSelect(
                off, dbl(0), b_.CreateSelect(b_.CreateFCmpOLE(interval, dbl(0)), once, again));
        }
        case fn_lookup_extrapolate:
            return lookup({nk_table, o.table}, x, true);
        case fn_lookup_invert: {
            Value* table = b_.CreateGEP(
                b_.getInt8Ty(), tables_,
                b_.getInt64(static_cast<std::uint64_t>(o.table) * sizeof(lookup_table)));
            return host(addr(&call_lookup_invert), f64_, {i8p_, f64_}, {table, x});
        }
        case fn_initial:
        case fn_sample_if_true:
            return held_value(o);
        default:
            return na_or(x, nullptr, host(addr(library_function(o.fn)), f64_, {f64_}, {x}));
        }
    }
    // INITIAL and SAMPLE IF TRUE, as call() in interp.cpp: the value held
    // in the unit's hidden slot, set in the initial pass (and by SAMPLE IF
    // TRUE when its condition holds in a step's first evaluation); in a
    // Runge-Kutta stage SAMPLE IF TRUE gives its input unheld. The slot is
    // written back even when unchanged, so a fast part knows its value.
    Value* held_value(const native_op& o) {
        if (lanes_) {
            lanes_failed_ = true;
            return llvm::UndefValue::get(dtype());
        }
        const native_operand at{nk_value, static_cast<std::int64_t>(o.state)};
        Value* x = reg(o.a);
        Value* old = read_float(at);
        Value* initial = b_.CreateICmpEQ(mode_, b_.getInt32(em_initial));
        Value* held;
        Value* out = nullptr;
        if (o.fn == fn_initial) {
            held = b_.CreateSelect(initial, b_.CreateFPTrunc(x, f32_), old);
        } else {
            Value* on = b_.CreateFCmpUNE(x, dbl(0));
            Value* first = b_.CreateSelect(on, reg(o.a + 1), reg(o.a + 2));
            Value* main = b_.CreateAnd(b_.CreateICmpEQ(mode_, b_.getInt32(em_main)), on);
            held =
                b_.CreateSelect(initial, b_.CreateFPTrunc(first, f32_),
                                b_.CreateSelect(main, b_.CreateFPTrunc(reg(o.a + 1), f32_), old));
            Value* stage = b_.CreateAnd(b_.CreateICmpEQ(mode_, b_.getInt32(em_stage)), on);
            out = b_.CreateSelect(stage, reg(o.a + 1), b_.CreateFPExt(held, f64_));
        }
        b_.CreateStore(held, slot_ptr(at));
        if (fast_) known_[{at.kind, at.index}] = held;
        return out ? out : b_.CreateFPExt(held, f64_);
    }
    // The output of a smoothing or delay from its hidden states.
    Value* state_output(const native_op& o) {
        Value* in = reg(o.a);
        Value* d = reg(o.a + 1);
        Value* last = read({nk_value, static_cast<std::int64_t>(o.state + o.states - 1)});
        if (is_delay(o.fn)) return b_.CreateFDiv(last, b_.CreateFDiv(d, dbl(o.states)));
        if (o.fn != fn_trend && o.fn != fn_forecast) return last;
        Value* s0 = read({nk_value, static_cast<std::int64_t>(o.state)});
        Value* change = b_.CreateFDiv(b_.CreateFSub(in, s0), b_.CreateFMul(s0, d));
        if (o.fn == fn_trend) return change;
        Value* growth =
            b_.CreateFDiv(b_.CreateFMul(reg(o.a + 2), b_.CreateFSub(in, s0)), b_.CreateFMul(s0, d));
        return b_.CreateFMul(in, b_.CreateFAdd(dbl(1), growth));
    }
    // The rates of the hidden states of call i. One that is not finite is
    // the engine's error: a careful part calls the engine, which computes the
    // same rates and throws; a fast part hands the pass to the flat loop.
    void state_rates(const native_op& o, std::size_t i) {
        Value* in = reg(o.a);
        Value* d = reg(o.a + 1);
        const bool delay = is_delay(o.fn);
        Value* stage =
            o.fn == fn_trend || o.fn == fn_forecast ? d : b_.CreateFDiv(d, dbl(o.states));
        Value* prev = in;
        Value* sum = nullptr;
        for (std::uint32_t j = 0; j < o.states; ++j) {
            native_operand at{nk_value, static_cast<std::int64_t>(o.state + j)};
            Value* s = read(at);
            Value* r;
            if (delay) {
                Value* out = b_.CreateFDiv(s, stage);
                r = b_.CreateFSub(prev, out);
                prev = out;
            } else {
                r = b_.CreateFDiv(b_.CreateFSub(prev, s), stage);
                prev = s;
            }
            Value* f = b_.CreateFPTrunc(r, f32_);
            at.kind = nk_rate;
            b_.CreateStore(f, slot_ptr(at));
            if (unit_no_) units_write_unknown_ = true;
            if (fast_) {
                note_finite(f);
                continue;
            }
            Value* z = b_.CreateFSub(f, f);
            sum = sum ? b_.CreateFAdd(sum, z) : z;
        }
        if (fast_) return;
        BasicBlock* slow = BasicBlock::Create(cx_, "ratefault", fn_);
        BasicBlock* join = BasicBlock::Create(cx_, "rated", fn_);
        b_.CreateCondBr(b_.CreateFCmpUNO(sum, sum), slow, join, unlikely());
        b_.SetInsertPoint(slow);
        check(i);
        Value* args = call_args(o.a, o.nargs);
        on_error(host(addr(&call_rate), i32_, {i8p_, i32_, i8p_, f64p_, i32_},
                      {frame_, b_.getInt32(o.b), bound_pointer(i), args, mode_}));
        b_.CreateBr(join);
        b_.SetInsertPoint(join);
    }

    // A field of the lookup table at t (an i8 pointer), as i32.
    Value* table_word(Value* t, std::size_t offset) {
        Value* p = b_.CreateGEP(b_.getInt8Ty(), t, b_.getInt64(offset));
        return b_.CreateLoad(i32_, b_.CreateBitCast(p, i32p_));
    }
    Value* point(Value* base, Value* k) { return b_.CreateLoad(f32_, b_.CreateGEP(f32_, base, k)); }
    // The search of lookup_locate_search (sim/interp.cpp) for x not NA,
    // leaving the builder in the block that has the value: the ends give
    // their values and leave the segment; else the current segment, the
    // next one, or std::upper_bound's bisection over the points (the same
    // steps, so the same segment) is stored as the table's segment, and
    // the value is that segment's. Tables of fewer than two points call fn.
    Value* search_inline(Value* table, Value* px, Value* py, Value* count, Value* x, void* fn) {
        auto block = [&](const char* name) { return BasicBlock::Create(cx_, name, fn_); };
        BasicBlock *few = block("few"), *body = block("points"), *below = block("below"),
                   *upper = block("upper"), *above = block("above"), *within = block("within"),
                   *next = block("next"), *next_in = block("next_in"), *bin = block("bisect"),
                   *bin_body = block("bisect_step"), *bin_exit = block("bisected"),
                   *moved = block("moved"), *at = block("at"), *flat = block("flat"),
                   *slope = block("slope"), *out = block("searched");
        auto fx = [&](Value* base, Value* k) { return b_.CreateFPExt(point(base, k), f64_); };
        Value* one = b_.getInt64(1);
        b_.CreateCondBr(b_.CreateICmpUGE(count, b_.getInt64(2)), body, few, likely());

        b_.SetInsertPoint(few);
        Value* called = host(fn, f64_, {i8p_, f64_}, {table, x});
        b_.CreateBr(out);

        b_.SetInsertPoint(body);
        Value* last = b_.CreateSub(count, one);
        b_.CreateCondBr(b_.CreateFCmpOLE(x, fx(px, b_.getInt64(0))), below, upper);
        b_.SetInsertPoint(below);
        Value* v_below = fx(py, b_.getInt64(0));
        b_.CreateBr(out);
        b_.SetInsertPoint(upper);
        b_.CreateCondBr(b_.CreateFCmpOGE(x, fx(px, last)), above, within);
        b_.SetInsertPoint(above);
        Value* v_above = fx(py, last);
        b_.CreateBr(out);

        // The current segment, clamped to the points.
        b_.SetInsertPoint(within);
        Value* top = b_.CreateSub(count, b_.getInt64(2));
        Value* seg = b_.CreateSExt(table_word(table, offsetof(lookup_table, segment)), i64_);
        Value* kc = b_.CreateSelect(b_.CreateICmpSLT(seg, b_.getInt64(0)), b_.getInt64(0), seg);
        kc = b_.CreateSelect(b_.CreateICmpSGT(kc, top), top, kc);
        Value* kc1 = b_.CreateAdd(kc, one);
        b_.CreateCondBr(
            b_.CreateAnd(b_.CreateFCmpOGE(x, fx(px, kc)), b_.CreateFCmpOLE(x, fx(px, kc1))), at,
            next);
        // The next one.
        b_.SetInsertPoint(next);
        Value* kc2 = b_.CreateAdd(kc, b_.getInt64(2));
        b_.CreateCondBr(b_.CreateICmpULT(kc2, count), next_in, bin);
        b_.SetInsertPoint(next_in);
        b_.CreateCondBr(
            b_.CreateAnd(b_.CreateFCmpOGE(x, fx(px, kc1)), b_.CreateFCmpOLE(x, fx(px, kc2))), moved,
            bin);
        // upper_bound: the first point whose x is above x.
        b_.SetInsertPoint(bin);
        b_.CreateBr(bin_body);
        b_.SetInsertPoint(bin_body);
        llvm::PHINode* first = b_.CreatePHI(i64_, 2);
        llvm::PHINode* len = b_.CreatePHI(i64_, 2);
        first->addIncoming(b_.getInt64(0), bin);
        len->addIncoming(count, bin);
        Value* half = b_.CreateLShr(len, one);
        Value* mid = b_.CreateAdd(first, half);
        Value* lt = b_.CreateFCmpOLT(x, fx(px, mid));
        Value* first2 = b_.CreateSelect(lt, first, b_.CreateAdd(mid, one));
        Value* len2 = b_.CreateSelect(lt, half, b_.CreateSub(b_.CreateSub(len, half), one));
        first->addIncoming(first2, bin_body);
        len->addIncoming(len2, bin_body);
        b_.CreateCondBr(b_.CreateICmpSGT(len2, b_.getInt64(0)), bin_body, bin_exit);
        b_.SetInsertPoint(bin_exit);
        Value* kb = b_.CreateSub(b_.CreateSelect(b_.CreateICmpSLT(first2, one), one, first2), one);
        kb = b_.CreateSelect(b_.CreateICmpUGT(kb, top), top, kb);
        b_.CreateBr(moved);
        // The segment moves.
        b_.SetInsertPoint(moved);
        llvm::PHINode* km = b_.CreatePHI(i64_, 2);
        km->addIncoming(kc1, next_in);
        km->addIncoming(kb, bin_exit);
        b_.CreateStore(b_.CreateTrunc(km, i32_),
                       b_.CreateBitCast(b_.CreateGEP(b_.getInt8Ty(), table,
                                                     b_.getInt64(offsetof(lookup_table, segment))),
                                        i32p_));
        b_.CreateBr(at);
        // The value of segment k.
        b_.SetInsertPoint(at);
        llvm::PHINode* k = b_.CreatePHI(i64_, 2);
        k->addIncoming(kc, within);
        k->addIncoming(km, moved);
        Value* k1 = b_.CreateAdd(k, one);
        Value* xk = point(px, k);
        Value* xk1 = point(px, k1);
        b_.CreateCondBr(b_.CreateFCmpOEQ(xk1, xk), flat, slope);
        b_.SetInsertPoint(flat);
        Value* v_flat = fx(py, k1);
        b_.CreateBr(out);
        b_.SetInsertPoint(slope);
        Value* x0 = b_.CreateFPExt(xk, f64_);
        Value* y0 = fx(py, k);
        Value* dy = b_.CreateFSub(fx(py, k1), y0);
        Value* dx = b_.CreateFSub(b_.CreateFPExt(xk1, f64_), x0);
        Value* v_slope =
            b_.CreateFAdd(y0, b_.CreateFDiv(b_.CreateFMul(b_.CreateFSub(x, x0), dy), dx));
        b_.CreateBr(out);

        b_.SetInsertPoint(out);
        llvm::PHINode* v = b_.CreatePHI(f64_, 5);
        v->addIncoming(called, few);
        v->addIncoming(v_below, below);
        v->addIncoming(v_above, above);
        v->addIncoming(v_flat, flat);
        v->addIncoming(v_slope, slope);
        return v;
    }

    // search_inline, tried first where this lookup found x the last time
    // (kept in the code, one word per lookup): a segment, or beyond one end.
    // Several lookups of one table at different x move its segment back and
    // forth, so the table's own segment is often another lookup's, and the
    // search then walks or bisects; one lookup's x moves little from step to
    // step, and a lookup bounding a wide expression mostly finds x beyond an
    // end, which the search tests only after its checks of the table.
    // When x lies strictly inside the remembered segment of a table whose
    // points rise (lookup_points_rise, set by the run), no other segment
    // holds it (an exact point, an end, NaN or a segment of zero width all
    // fail the test), so the search would end on that segment too and leave
    // it as the table's: the same value and the same segment. At or below
    // the first point the search gives the first y whatever the points; above
    // the last point of a table whose points rise, the last y; neither moves
    // the segment. Anything else searches, and remembers what it found.
    Value* guessed_search(Value* table, Value* px, Value* py, Value* count, Value* x, void* fn) {
        auto block = [&](const char* name) { return BasicBlock::Create(cx_, name, fn_); };
        BasicBlock *test = block("guess"), *hit = block("guessed"), *ends = block("guess_ends"),
                   *over = block("guess_above"), *above = block("above_guessed"),
                   *under = block("guess_below_or_not"), *down = block("guess_below"),
                   *below = block("below_guessed"), *miss = block("unguessed"),
                   *out = block("found");
        auto* site = new llvm::GlobalVariable(m_, i32_, false, llvm::GlobalValue::InternalLinkage,
                                              b_.getInt32(0), "lookup_guess");
        llvm::LoadInst* g = b_.CreateLoad(i32_, site);
        g->setAtomic(llvm::AtomicOrdering::Monotonic);
        g->setAlignment(llvm::Align(4));
        // Unsigned: a segment past the points (a table changed since) and
        // the ends' marks fail.
        Value* k = b_.CreateZExt(g, i64_);
        Value* k1 = b_.CreateAdd(k, b_.getInt64(1));
        Value* points = b_.CreateICmpUGE(count, b_.getInt64(2));
        Value* last = b_.CreateSub(count, b_.getInt64(1));
        Value* rise = b_.CreateICmpNE(b_.CreateAnd(table_word(table, offsetof(lookup_table, flags)),
                                                   b_.getInt32(lookup_points_rise)),
                                      b_.getInt32(0));
        b_.CreateCondBr(b_.CreateAnd(b_.CreateICmpULT(k1, count), rise), test, ends, likely());

        b_.SetInsertPoint(test);
        Value* x0 = b_.CreateFPExt(point(px, k), f64_);
        Value* x1 = b_.CreateFPExt(point(px, k1), f64_);
        b_.CreateCondBr(b_.CreateAnd(b_.CreateFCmpOGT(x, x0), b_.CreateFCmpOLT(x, x1)), hit, miss,
                        likely());
        b_.SetInsertPoint(hit);
        b_.CreateStore(g,
                       b_.CreateBitCast(b_.CreateGEP(b_.getInt8Ty(), table,
                                                     b_.getInt64(offsetof(lookup_table, segment))),
                                        i32p_));
        Value* y0 = b_.CreateFPExt(point(py, k), f64_);
        Value* dy = b_.CreateFSub(b_.CreateFPExt(point(py, k1), f64_), y0);
        Value* dx = b_.CreateFSub(x1, x0);
        Value* v_hit =
            b_.CreateFAdd(y0, b_.CreateFDiv(b_.CreateFMul(b_.CreateFSub(x, x0), dy), dx));
        b_.CreateBr(out);

        // Beyond an end.
        b_.SetInsertPoint(ends);
        b_.CreateCondBr(
            b_.CreateAnd(b_.CreateAnd(b_.CreateICmpEQ(g, b_.getInt32(guess_above)), rise), points),
            over, under);
        b_.SetInsertPoint(over);
        b_.CreateCondBr(b_.CreateFCmpOGT(x, b_.CreateFPExt(point(px, last), f64_)), above, miss,
                        likely());
        b_.SetInsertPoint(above);
        Value* v_above = b_.CreateFPExt(point(py, last), f64_);
        b_.CreateBr(out);
        b_.SetInsertPoint(under);
        b_.CreateCondBr(b_.CreateAnd(b_.CreateICmpEQ(g, b_.getInt32(guess_below)), points), down,
                        miss);
        b_.SetInsertPoint(down);
        Value* first = b_.CreateFPExt(point(px, b_.getInt64(0)), f64_);
        b_.CreateCondBr(b_.CreateFCmpOLE(x, first), below, miss, likely());
        b_.SetInsertPoint(below);
        Value* v_below = b_.CreateFPExt(point(py, b_.getInt64(0)), f64_);
        b_.CreateBr(out);

        b_.SetInsertPoint(miss);
        // Missed rarely: in a fast part the engine's search, out of line
        // (less code, which counts once a model's step outgrows the caches),
        // which notes the next guess too.
        if (fast_ && level_ != 0 && fn == addr(&call_lookup)) {
            Value* v_miss =
                cold_host(addr(&call_lookup_noting), f64_, {i8p_, f64_, i32p_}, {table, x, site});
            BasicBlock* searched = b_.GetInsertBlock();
            b_.CreateBr(out);
            b_.SetInsertPoint(out);
            llvm::PHINode* v = b_.CreatePHI(f64_, 4);
            v->addIncoming(v_hit, hit);
            v->addIncoming(v_above, above);
            v->addIncoming(v_below, below);
            v->addIncoming(v_miss, searched);
            return v;
        }
        Value* v_miss = fast_ ? cold_host(fn, f64_, {i8p_, f64_}, {table, x})
                              : search_inline(table, px, py, count, x, fn);
        // What the search found: an end, or the segment it left (a table of
        // fewer than two points has nothing to remember).
        BasicBlock *note = block("note_guess"), *noted = block("guess_noted");
        b_.CreateCondBr(points, note, noted, likely());
        b_.SetInsertPoint(note);
        Value* found = b_.CreateSelect(
            b_.CreateFCmpOLE(x, b_.CreateFPExt(point(px, b_.getInt64(0)), f64_)),
            b_.getInt32(guess_below),
            b_.CreateSelect(b_.CreateFCmpOGT(x, b_.CreateFPExt(point(px, last), f64_)),
                            b_.getInt32(guess_above),
                            table_word(table, offsetof(lookup_table, segment))));
        llvm::StoreInst* keep = b_.CreateStore(found, site);
        keep->setAtomic(llvm::AtomicOrdering::Monotonic);
        keep->setAlignment(llvm::Align(4));
        b_.CreateBr(noted);
        b_.SetInsertPoint(noted);
        b_.CreateBr(out);

        b_.SetInsertPoint(out);
        llvm::PHINode* v = b_.CreatePHI(f64_, 4);
        v->addIncoming(v_hit, hit);
        v->addIncoming(v_above, above);
        v->addIncoming(v_below, below);
        v->addIncoming(v_miss, noted);
        return v;
    }

    // A lookup of x in table t, NA staying NA. Inside the table's current
    // segment it is computed here as lookup_locate and lookup_interpolate
    // compute it (the table is not touched); elsewhere it is their call,
    // which moves the segment.
    Value* lookup(const native_operand& t, Value* x, bool extrapolate = false) {
        void* search_fn = extrapolate ? addr(&call_lookup_extrapolate) : addr(&call_lookup);
        if (lanes_) {
            lanes_failed_ = true;
            return llvm::UndefValue::get(dtype());
        }
        Value* table = b_.CreateGEP(b_.getInt8Ty(), tables_,
                                    b_.CreateMul(index_of(t), b_.getInt64(sizeof(lookup_table))));
        BasicBlock* from = b_.GetInsertBlock();
        if (calls_only_) {
            // Tier 0: the engine's call alone (a seventh of the code).
            BasicBlock* search = BasicBlock::Create(cx_, "search", fn_);
            BasicBlock* done = BasicBlock::Create(cx_, "looked", fn_);
            b_.CreateCondBr(is_na(x), done, search);
            b_.SetInsertPoint(search);
            Value* found = host(search_fn, f64_, {i8p_, f64_}, {table, x});
            b_.CreateBr(done);
            b_.SetInsertPoint(done);
            llvm::PHINode* phi = b_.CreatePHI(f64_, 2);
            phi->addIncoming(na(), from);
            phi->addIncoming(found, search);
            return phi;
        }
        if (!extrapolate && level_ != 0) {
            // Tier 1: the search in the code, which looks at the current
            // segment first (a test of it before would be made twice when
            // it does not hold). A fast part notes x (NA hands the part to
            // the loop) and tests NA before the search, which must not move
            // the segment for NA.
            if (fast_) note(x);
            BasicBlock* search = BasicBlock::Create(cx_, "search", fn_);
            BasicBlock* done = BasicBlock::Create(cx_, "looked", fn_);
            b_.CreateCondBr(is_na(x), done, search, unlikely());
            b_.SetInsertPoint(search);
            Value* count = b_.CreateZExt(table_word(table, offsetof(lookup_table, count)), i64_);
            Value* px = b_.CreateGEP(
                f32_, data_, b_.CreateZExt(table_word(table, offsetof(lookup_table, x)), i64_));
            Value* py = b_.CreateGEP(
                f32_, data_, b_.CreateZExt(table_word(table, offsetof(lookup_table, y)), i64_));
            Value* found = unit_no_ ? search_inline(table, px, py, count, x, search_fn)
                                    : guessed_search(table, px, py, count, x, search_fn);
            BasicBlock* searched = b_.GetInsertBlock();
            b_.CreateBr(done);
            b_.SetInsertPoint(done);
            llvm::PHINode* phi = b_.CreatePHI(f64_, 2);
            phi->addIncoming(na(), from);
            phi->addIncoming(found, searched);
            return phi;
        }
        BasicBlock* look = BasicBlock::Create(cx_, "lookup", fn_);
        BasicBlock* ends = BasicBlock::Create(cx_, "ends", fn_);
        BasicBlock* inside = BasicBlock::Create(cx_, "inside", fn_);
        BasicBlock* level = BasicBlock::Create(cx_, "level", fn_);
        BasicBlock* slope = BasicBlock::Create(cx_, "slope", fn_);
        BasicBlock* search = BasicBlock::Create(cx_, "search", fn_);
        BasicBlock* done = BasicBlock::Create(cx_, "looked", fn_);
        // A fast part notes x (NA hands the part to the loop) and tests it
        // only before the search, which must not move the segment for NA.
        if (fast_) {
            note(x);
            b_.CreateBr(look);
        } else {
            b_.CreateCondBr(is_na(x), done, look, unlikely());
        }

        b_.SetInsertPoint(look);
        Value* count = b_.CreateZExt(table_word(table, offsetof(lookup_table, count)), i64_);
        Value* k = b_.CreateSExt(table_word(table, offsetof(lookup_table, segment)), i64_);
        Value* px = b_.CreateGEP(f32_, data_,
                                 b_.CreateZExt(table_word(table, offsetof(lookup_table, x)), i64_));
        Value* py = b_.CreateGEP(f32_, data_,
                                 b_.CreateZExt(table_word(table, offsetof(lookup_table, y)), i64_));
        Value* k1 = b_.CreateAdd(k, b_.getInt64(1));
        Value* usable = b_.CreateAnd(b_.CreateAnd(b_.CreateICmpUGE(count, b_.getInt64(2)),
                                                  b_.CreateICmpSGE(k, b_.getInt64(0))),
                                     b_.CreateICmpSLE(b_.CreateAdd(k, b_.getInt64(2)), count));
        b_.CreateCondBr(usable, ends, search, likely());

        b_.SetInsertPoint(ends);
        Value* xk = point(px, k);
        Value* xk1 = point(px, k1);
        Value* in = b_.CreateAnd(
            b_.CreateAnd(
                b_.CreateFCmpOGT(x, b_.CreateFPExt(point(px, b_.getInt64(0)), f64_)),
                b_.CreateFCmpOLT(
                    x, b_.CreateFPExt(point(px, b_.CreateSub(count, b_.getInt64(1))), f64_))),
            b_.CreateAnd(b_.CreateFCmpOGE(x, b_.CreateFPExt(xk, f64_)),
                         b_.CreateFCmpOLE(x, b_.CreateFPExt(xk1, f64_))));
        b_.CreateCondBr(in, inside, search, likely());

        b_.SetInsertPoint(inside);
        Value* yk1 = b_.CreateFPExt(point(py, k1), f64_);
        b_.CreateCondBr(b_.CreateFCmpOEQ(xk1, xk), level, slope);

        b_.SetInsertPoint(level);
        b_.CreateBr(done);

        b_.SetInsertPoint(slope);
        Value* x0 = b_.CreateFPExt(xk, f64_);
        Value* y0 = b_.CreateFPExt(point(py, k), f64_);
        Value* dy = b_.CreateFSub(yk1, y0);
        Value* dx = b_.CreateFSub(b_.CreateFPExt(xk1, f64_), x0);
        Value* v = b_.CreateFAdd(y0, b_.CreateFDiv(b_.CreateFMul(b_.CreateFSub(x, x0), dy), dx));
        b_.CreateBr(done);

        b_.SetInsertPoint(search);
        if (fast_) {
            from = search;
            BasicBlock* call = BasicBlock::Create(cx_, "call", fn_);
            b_.CreateCondBr(is_na(x), done, call, unlikely());
            b_.SetInsertPoint(call);
            search = call;
        }
        // Inside the table's ends extrapolation changes nothing: only the
        // search differs.
        Value* found = cold_host(search_fn, f64_, {i8p_, f64_}, {table, x});
        b_.CreateBr(done);

        b_.SetInsertPoint(done);
        llvm::PHINode* phi = b_.CreatePHI(f64_, 4);
        phi->addIncoming(na(), from);
        phi->addIncoming(yk1, level);
        phi->addIncoming(v, slope);
        phi->addIncoming(found, search);
        return phi;
    }

    // The code of instructions from..to into f. A fast part (fast_) leaves out
    // the NA tests and notes the least operand and whether the stored values
    // are finite; when an operand may be NA it returns -(from + 2): the flat
    // loop computes the pass on from there, from the same slots (the part's
    // instructions only compute and store).
    void body(llvm::Function* f, std::size_t from, std::size_t to, std::size_t rolled = 0) {
        // Repeated units at tier 1 are first built in lanes, several units
        // computed at once by vector operations (each lane the operations of
        // its unit in its order: the same values); a unit that calls, looks
        // up or carries a register from unit to unit is built one by one.
        if (fast_ && rolled >= min_rolled && level_ != 0 && vectors_) {
            in_lanes_ = true;
            lanes_failed_ = false;
            build_body(f, from, to, rolled);
            in_lanes_ = false;
            if (!lanes_failed_) {
                lane_units += rolled / rolled_turn * rolled_turn;
                rate_quads_.insert(lane_rate_stores_.begin(), lane_rate_stores_.end());
                lane_rate_stores_.clear();
                return;
            }
            lane_rate_stores_.clear();
            f->deleteBody();
        }
        build_body(f, from, to, rolled);
    }
    void build_body(llvm::Function* f, std::size_t from, std::size_t to, std::size_t rolled) {
        fn_ = f;
        auto a = f->arg_begin();
        value_ = &*a++;
        rate_ = &*a++;
        tables_ = &*a++;
        ops_ = &*a++;
        mode_ = &*a++;
        frame_ = &*a++;
        b_.SetInsertPoint(BasicBlock::Create(cx_, "entry", f));
        bad_out_ = b_.CreateBitCast(
            b_.CreateGEP(b_.getInt8Ty(), frame_, b_.getInt64(offsetof(native_frame, bad))), i32p_);
        data_ = b_.CreateLoad(f32p_, b_.CreateBitCast(frame_, f32p_->getPointerTo()));
        // The flag lives in the part while it runs, so it stays in a register.
        bad_ = b_.CreateAlloca(i32_);
        b_.CreateStore(b_.CreateLoad(i32_, bad_out_), bad_);
        acc_ = b_.CreateAlloca(f64_);
        b_.CreateStore(dbl(0), acc_);
        regs_.clear();
        for (std::size_t k = 0; k < l_.registers; ++k) {
            regs_.push_back(b_.CreateAlloca(f64_));
            b_.CreateStore(dbl(0), regs_.back());
        }
        out_ = b_.CreateAlloca(f64_);
        args_ = b_.CreateAlloca(f64_, b_.getInt32(std::max<std::uint32_t>(max_args(from, to), 1)));
        // Several sums and minima, so that they do not make one long chain.
        for (Value*& v : least_) v = dbl(0);
        for (Value*& v : finite_) v = llvm::ConstantFP::get(f32_, 0.0);
        lane_least_ = {};
        lane_finite_ = {};
        next_least_ = next_finite_ = 0;
        finite_adds_.clear();
        candidates_.clear();
        scanned_reads_.clear();
        dropped_minima_ = 0;
        bound_exp_ = 100;
        unit_reads_.clear();
        unit_slot_of_.clear();
        unit_writes_.clear();
        units_write_unknown_ = false;
        scans_.clear();
        known_.clear();
        widened_.clear();
        noted_.clear();
        slot_of_.clear();
        noted_slots_.clear();
        fast_regs_.assign(l_.registers, dbl(0));
        fast_acc_ = dbl(0);
        unit_no_ = nullptr;
        if (fast_ && rolled > 1)
            roll(from, to, rolled);
        else
            for (std::size_t i = from; i < to; ++i) i = op(i);
        if (fast_) {
            // An operand that may be NA or a stored value that may not be
            // finite (a rate of hidden states included): the flat loop
            // computes the pass on from the part's first instruction, with
            // its NA tests and its checks naming the unit.
            if (bounded_) drop_bounded_minima();
            Value* maybe_na = nullptr;
            for (Value* m : least_) {
                Value* c = b_.CreateFCmpOLE(m, na());
                maybe_na = maybe_na ? b_.CreateOr(maybe_na, c) : c;
            }
            Value* over = nullptr; // bounded code: a slot 2^B or more
            for (Value* scanned : {scan_progressions(), scan_noted_slots()})
                if (scanned) over = over ? b_.CreateOr(over, scanned) : scanned;
            if (over && !bounded_) maybe_na = b_.CreateOr(maybe_na, over);
            if (over && bounded_) {
                BasicBlock* all = BasicBlock::Create(cx_, "unbounded", fn_);
                BasicBlock* go = BasicBlock::Create(cx_, "bounded", fn_);
                b_.CreateCondBr(over, all, go, unlikely());
                b_.SetInsertPoint(all);
                b_.CreateRet(b_.getInt32(unbounded_code));
                b_.SetInsertPoint(go);
            }
            drop_covered_sums();
            Value* sum = finite_[0];
            for (std::size_t k = 1; k < finite_.size(); ++k) sum = b_.CreateFAdd(sum, finite_[k]);
            Value* zero = b_.CreateFSub(sum, sum); // NaN unless sum is finite
            Value* not_finite = b_.CreateFCmpUNO(zero, zero);
            BasicBlock* again = BasicBlock::Create(cx_, "again", fn_);
            BasicBlock* done = BasicBlock::Create(cx_, "done", fn_);
            b_.CreateCondBr(b_.CreateOr(maybe_na, not_finite), again, done, unlikely());
            b_.SetInsertPoint(again);
            b_.CreateRet(
                b_.getInt32(static_cast<std::uint32_t>(-static_cast<std::int64_t>(from) - 2)));
            b_.SetInsertPoint(done);
            b_.CreateRet(b_.getInt32(0));
            return;
        }
        if (b_.GetInsertBlock()->getTerminator() == nullptr) {
            b_.CreateStore(b_.CreateLoad(i32_, bad_), bad_out_);
            b_.CreateRet(b_.getInt32(0));
        }
    }
    // A fast part of count repeated units as a loop over the first unit's
    // instructions, unit n's operands n strides on: the same operations in
    // the same order as the straight code. The registers, the accumulator,
    // the least operand and the sums of stored values go from one unit to
    // the next.
    void roll(std::size_t from, std::size_t to, std::size_t count) {
        roll_count_ = count;
        const std::size_t len = (to - from) / count;
        stride_.clear();
        for (std::size_t k = from; k < from + len; ++k)
            for (int f = 0; f < 3; ++f)
                stride_[&l_.ops[k].field[f]] =
                    l_.ops[k + len].field[f].index - l_.ops[k].field[f].index;
        BasicBlock* pre = b_.GetInsertBlock();
        BasicBlock* loop = BasicBlock::Create(cx_, "unit", fn_);
        b_.CreateBr(loop);
        b_.SetInsertPoint(loop);
        auto carried = [&](Value*& v) {
            llvm::PHINode* phi = b_.CreatePHI(v->getType(), 2);
            phi->addIncoming(v, pre);
            v = phi;
            return phi;
        };
        llvm::PHINode* n = b_.CreatePHI(i64_, 2);
        n->addIncoming(b_.getInt64(0), pre);
        std::vector<std::pair<llvm::PHINode*, Value**>> phis;
        std::vector<Value*> before_regs;
        Value* before_acc = fast_acc_;
        if (in_lanes_) {
            // Minima and sums of each lane, from 0.
            for (Value*& v : lane_least_)
                v = llvm::ConstantFP::get(llvm::FixedVectorType::get(f64_, rolled_turn), 0.0);
            for (Value*& v : lane_finite_)
                v = llvm::ConstantFP::get(llvm::FixedVectorType::get(f32_, rolled_turn), 0.0);
            for (Value*& v : lane_least_) phis.push_back({carried(v), &v});
            for (Value*& v : lane_finite_) phis.push_back({carried(v), &v});
            before_regs = fast_regs_;
        } else {
            for (Value*& v : least_) phis.push_back({carried(v), &v});
            for (Value*& v : finite_) phis.push_back({carried(v), &v});
            for (Value*& v : fast_regs_) phis.push_back({carried(v), &v});
            phis.push_back({carried(fast_acc_), &fast_acc_});
        }
        rolled_units += count;
        // Several units a turn, so that the sums and minima (taken in turn)
        // make independent chains as in the straight code.
        auto unit = [&](Value* no) {
            unit_no_ = no;
            for (std::size_t i = from; i < from + len; ++i) i = op(i);
        };
        if (in_lanes_) {
            // One unit in lanes: the units of the turn at once, each from
            // registers of its own.
            unset_ = llvm::UndefValue::get(llvm::FixedVectorType::get(f64_, rolled_turn));
            for (Value*& v : fast_regs_) v = unset_;
            fast_acc_ = unset_;
            lanes_ = rolled_turn;
            lane_reads_.clear();
            unit(n);
            lanes_ = 0;
            // A unit reading what another writes (a chain of units) needs
            // the units one after another.
            for (const progression& r : lane_reads_)
                if (stored_by_units(r, count)) lanes_failed_ = true;
        } else {
            for (std::size_t u = 0; u < rolled_turn; ++u)
                unit(u ? b_.CreateAdd(n, b_.getInt64(u)) : n);
        }
        BasicBlock* last = b_.GetInsertBlock();
        Value* next = b_.CreateAdd(n, b_.getInt64(rolled_turn));
        n->addIncoming(next, last);
        for (auto& [phi, v] : phis) phi->addIncoming(*v, last);
        BasicBlock* after = BasicBlock::Create(cx_, "units", fn_);
        const std::size_t looped = count / rolled_turn * rolled_turn;
        b_.CreateCondBr(b_.CreateICmpULT(next, b_.getInt64(looped)), loop, after);
        b_.SetInsertPoint(after);
        // What the units leave alone needs no value of its own in the loop.
        for (auto& [phi, v] : phis)
            if (*v == phi) {
                Value* init = phi->getIncomingValueForBlock(pre);
                phi->replaceAllUsesWith(init);
                *v = init;
                phi->eraseFromParent();
            }
        if (in_lanes_) {
            // The lanes' minima and sums join the part's.
            for (Value* m : lane_least_)
                for (unsigned j = 0; j < rolled_turn; ++j) least(b_.CreateExtractElement(m, j));
            for (Value* f : lane_finite_)
                for (unsigned j = 0; j < rolled_turn; ++j) {
                    Value*& sum = finite_[next_finite_++ % finite_.size()];
                    sum = b_.CreateFAdd(sum, b_.CreateExtractElement(f, j));
                }
            fast_regs_ = before_regs;
            fast_acc_ = before_acc;
        }
        // The units left over, straight.
        for (std::size_t u = looped; u < count; ++u) unit(b_.getInt64(u));
        unit_no_ = nullptr;
        scan_unit_reads(count);
    }
    std::uint32_t max_args(std::size_t from, std::size_t to) const {
        std::uint32_t n = 0;
        for (std::size_t i = from; i < to; ++i) n = std::max(n, l_.ops[i].nargs);
        return n;
    }

    // Emits instruction i; the index of the last instruction it used.
    std::size_t op(std::size_t i) {
        const native_op& o = l_.ops[i];
        const std::uint16_t c = o.code;
        if (c >= fo_binary_first && c < fo_pair_first) {
            int index = (c - fo_binary_first) / forms_per_binary;
            int form = (c - fo_binary_first) % forms_per_binary;
            bool stored = form >= ff_store;
            form %= ff_store;
            static constexpr char ka[] = "sssrrraa", kb[] = "srasrasr";
            auto operand = [&](char k, int fieldno, std::uint32_t r) {
                return k == 's' ? read(o.field[fieldno]) : k == 'r' ? reg(r) : acc();
            };
            Value* x = operand(ka[form], 0, o.a);
            Value* y = operand(kb[form], 1, o.b);
            Value* v = binary(index, x, y);
            if (stored)
                store(o.field[2], v);
            else
                set_acc(v);
            return i;
        }
        if (c >= fo_pair_first && c < fo_count) {
            int p = c - fo_pair_first;
            bool stored = p % 2, right = p / 2 % 2;
            int op2 = p / 4 % 4, op1 = p / 16;
            Value* t = arith(op1, read(o.field[0]), read(o.field[1]));
            Value* z = read(o.field[2]);
            Value* v = right ? arith(op2, z, t) : arith(op2, t, z);
            if (stored)
                store(l_.ops[i + 1].field[2], v);
            else
                set_acc(v);
            return i + 1;
        }
        switch (c) {
        case fo_end:
            check(i);
            b_.CreateRet(b_.getInt32(0));
            b_.SetInsertPoint(BasicBlock::Create(cx_, "after", fn_));
            break;
        case fo_unit:
            check(i);
            on_error(host(addr(&call_unit), i32_, {i8p_, i32_, i32_},
                          {frame_, b_.getInt32(o.a), mode_}));
            break;
        case fo_acc_s:
            set_acc(read(o.field[0]));
            break;
        case fo_acc_r:
            set_acc(reg(o.a));
            break;
        case fo_spill:
            set_reg(o.a, acc());
            break;
        case fo_reg_s:
            set_reg(o.a, read(o.field[1]));
            break;
        case fo_store_s:
            store_float(o.field[2], read_float(o.field[0]), finite_slot(o.field[0]));
            break;
        case fo_store_r:
            store(o.field[2], reg(o.a));
            break;
        case fo_store_a:
            store(o.field[2], acc());
            break;
        case fo_neg: {
            Value* x = acc();
            set_acc(na_or(x, nullptr, b_.CreateFNeg(x)));
            break;
        }
        case fo_not:
            set_acc(flag(b_.CreateFCmpOEQ(acc(), dbl(0))));
            break;
        case fo_lookup:
            set_acc(lookup(o.field[2], acc()));
            break;
        case fo_lookup_s:
            set_acc(lookup(o.field[2], read(o.field[0])));
            break;
        case fo_if:
            set_acc(
                b_.CreateSelect(b_.CreateFCmpUNE(reg(o.a), dbl(0)), reg(o.a + 1), reg(o.a + 2)));
            break;
        case fo_call: {
            if (native_state(i)) {
                set_acc(state_output(o));
                break;
            }
            if (native_builtin(i)) {
                set_acc(builtin_value(o));
                break;
            }
            check(i);
            Value* args = call_args(o.a, o.nargs);
            Value* out = out_;
            on_error(host(addr(&call_builtin), i32_, {i8p_, i32_, i8p_, f64p_, i32_, f64p_},
                          {frame_, b_.getInt32(o.b), bound_pointer(i), args, mode_, out}));
            set_acc(b_.CreateLoad(f64_, out));
            break;
        }
        case fo_rate: {
            if (native_state(i)) {
                state_rates(o, i);
                break;
            }
            check(i);
            Value* args = call_args(o.a, o.nargs);
            on_error(host(addr(&call_rate), i32_, {i8p_, i32_, i8p_, f64p_, i32_},
                          {frame_, b_.getInt32(o.b), bound_pointer(i), args, mode_}));
            break;
        }
        case fo_wide: {
            check(i);
            auto exact = [&] {
                on_error(host(addr(&call_wide), i32_, {i8p_, i32_}, {frame_, b_.getInt32(o.a)}));
            };
            if (level_ == 0 || o.a >= l_.wides.size() ||
                !emit_wide_loop(b_, value_, rate_, l_, l_.wides[o.a], exact))
                exact();
            break;
        }
        case fo_copy:
            if (level_ == 0 || !emit_wide_copy(b_, value_, rate_, o.field[2], o.field[0], o.b))
                host(addr(&call_copy), b_.getVoidTy(), {f32p_, f32p_, i64_},
                     {slot_ptr(o.field[2]), slot_ptr(o.field[0]), b_.getInt64(o.b)});
            break;
        default:
            throw std::runtime_error("instruction " + std::to_string(c) + " is not compiled");
        }
        return i;
    }

    llvm::LLVMContext& cx_;
    llvm::Module& m_;
    std::map<void*, llvm::Function*> stubs_;
    const native_listing& l_;
    llvm::IRBuilder<> b_;
    int level_; // 0: units of several lanes and copies stay calls (faster unoptimised)
    llvm::Type *f32_, *f64_, *i32_, *i64_;
    llvm::PointerType *i8p_, *f32p_, *f64p_, *i32p_;
    llvm::Function* fn_ = nullptr;
    Value *value_ = nullptr, *rate_ = nullptr, *tables_ = nullptr, *ops_ = nullptr,
          *mode_ = nullptr, *frame_ = nullptr, *bad_ = nullptr, *bad_out_ = nullptr,
          *acc_ = nullptr, *args_ = nullptr, *out_ = nullptr, *data_ = nullptr;
    std::vector<Value*> regs_;
    bool vectors_ = true;
    bool fast_ = false;
    bool calls_only_ = false; // lookups are calls (tier 0)
    bool bound_straight_ = false;
    slot_set tested_stores_;
    const slot_set* finite_before_ = nullptr;
    std::size_t roll_count_ = 0; // units of the loop being built
    std::set<std::int64_t> rate_quads_, lane_rate_stores_;
    std::vector<part_span> parts_, units_;
    bool planned_ = false, end_in_main_ = false;
    // A fast part's least operands and sums of f - f, as SSA values (a
    // lookup's branches join before the next instruction, so each value
    // dominates the code after it).
    std::array<Value*, 4> least_{}, finite_{};
    std::size_t next_least_ = 0, next_finite_ = 0;
    // Each stored value noted in the sums, and its add.
    struct finite_add {
        Value* value;
        llvm::Instruction* add;
    };
    std::vector<finite_add> finite_adds_;
    // Repeated units in lanes: whether this build tries them, the lanes of
    // the unit being built (0: none), whether a unit could not be, the
    // registers' value before a unit sets them, each lane's minima and sums.
    bool in_lanes_ = false;
    unsigned lanes_ = 0;
    bool lanes_failed_ = false;
    Value* unset_ = nullptr;
    std::vector<progression> lane_reads_;
    std::array<Value*, 2> lane_least_{}, lane_finite_{};
    // Bounded code: whether this is it, the minima of results it may leave
    // out, the reads of repeated units whose slots are scanned, the minima
    // left out, B.
    bool bounded_ = false;
    struct candidate {
        Value* x;
        llvm::SelectInst* select;
    };
    std::vector<candidate> candidates_;
    std::set<Value*> scanned_reads_;
    std::size_t dropped_minima_ = 0;
    double bound_exp_ = 100;
    static constexpr std::uint32_t unbounded_code = 0x7FFFFFF0;
    // Repeated units: the doubles read from slots, the minima of them, the
    // slots written, whether a call may write others, the slots to scan
    // (with the number of units).
    struct unit_read {
        llvm::SelectInst* select;
        progression p;
    };
    std::map<Value*, progression> unit_slot_of_;
    std::vector<unit_read> unit_reads_;
    std::vector<progression> unit_writes_;
    bool units_write_unknown_ = false;
    std::set<std::pair<progression, std::size_t>> scans_;
    std::map<std::pair<int, std::int64_t>, Value*> known_;
    std::map<Value*, Value*> widened_;
    std::set<Value*> noted_;
    // Doubles read from a slot (kind, index), and the slots noted with them.
    std::map<Value*, std::pair<int, std::int64_t>> slot_of_;
    std::map<std::pair<int, std::int64_t>, Value*> noted_slots_;
    std::vector<Value*> fast_regs_;
    Value* fast_acc_ = nullptr;
    // In a loop over repeated units: the unit's number and each operand's
    // stride (by the first unit's operand).
    Value* unit_no_ = nullptr;
    std::map<const native_operand*, std::int64_t> stride_;
};

// Runs the passes pipeline(pb) makes over a module, with LLVM's analyses.
template <typename Pipeline> void run_passes(llvm::Module& m, Pipeline&& pipeline) {
    llvm::LoopAnalysisManager lam;
    llvm::FunctionAnalysisManager fam;
    llvm::CGSCCAnalysisManager cgam;
    llvm::ModuleAnalysisManager mam;
    llvm::PassBuilder pb;
    pb.registerModuleAnalyses(mam);
    pb.registerCGSCCAnalyses(cgam);
    pb.registerFunctionAnalyses(fam);
    pb.registerLoopAnalyses(lam);
    pb.crossRegisterProxies(lam, fam, cgam, mam);
    pipeline(pb).run(m, mam);
}

// Tier 0: the accumulator, registers and flag out of memory, cheaply (more
// passes cost more compile time than they saved at run time).
void tidy(llvm::Module& m) {
    run_passes(m, [](llvm::PassBuilder&) {
        llvm::FunctionPassManager fpm;
        fpm.addPass(llvm::SROAPass());
        llvm::ModulePassManager mpm;
        mpm.addPass(llvm::createModuleToFunctionPassAdaptor(std::move(fpm)));
        return mpm;
    });
}

// Tier 1: the few passes that matter for straight float code: values out of
// memory, common expressions once, instructions combined, blocks merged; the
// always-inliner puts the compiled steps' parts in their loop. The rest of
// the -O1 pipeline (its call-graph inliner, with nothing to inline, the
// largest) took a quarter of a compile and made no faster code on the
// benchmarks. No fast-math flags are ever set, so no pass may change a
// rounding.
void optimise(llvm::Module& m) {
    run_passes(m, [](llvm::PassBuilder&) {
        llvm::FunctionPassManager fpm;
        fpm.addPass(llvm::SROAPass());
        fpm.addPass(llvm::EarlyCSEPass(true));
        fpm.addPass(llvm::InstCombinePass());
        fpm.addPass(llvm::SimplifyCFGPass());
        llvm::ModulePassManager mpm;
        mpm.addPass(llvm::AlwaysInlinerPass());
        mpm.addPass(llvm::createModuleToFunctionPassAdaptor(std::move(fpm)));
        return mpm;
    });
}

} // namespace

namespace {

std::mutex dump_mutex;

// Builds (build(context, module)), tidies or optimises, and compiles one
// module to an object (on any thread: the module has a context of its own).
template <typename Build>
void emit_module(int level, const llvm::DataLayout& layout, module_task& t, Build&& build) {
    try {
        llvm::LLVMContext cx;
        // The names of values and blocks serve only a reader of the IR: a
        // compile without them takes less memory and time.
        cx.setDiscardValueNames(!std::getenv("KAVREL_NATIVE_DUMP"));
        llvm::Module m("kavrel_pass", cx);
        m.setDataLayout(layout);
        build(cx, m);
        if (object_from_cache(level, m, t)) return;
#if defined(NDEBUG)
        // Tier 0 is compiled while a user waits; the emitter's modules are
        // verified in the other builds (every test runs tier 0 there) and
        // on the worker.
        const bool verify = level != 0;
#else
        const bool verify = true;
#endif
        if (verify) {
            std::string problems;
            llvm::raw_string_ostream os(problems);
            if (llvm::verifyModule(m, &os)) {
                t.error = "the native code is not valid (" + os.str() + ")";
                return;
            }
        }
        if (level)
            optimise(m);
        else
            tidy(m);
#if defined(__GLIBC__)
        // What the optimiser's analyses held goes back before the code
        // generator takes its own (a large pass: 3 of the compile's 15 MB).
        if (level) malloc_trim(0);
#endif
        if (const char* dump = std::getenv("KAVREL_NATIVE_DUMP")) {
            std::lock_guard<std::mutex> g(dump_mutex);
            std::error_code ec;
            llvm::raw_fd_ostream f(dump, ec, llvm::sys::fs::OF_Append);
            if (!ec) m.print(f, nullptr);
        }
        machine_lease machine(level);
        llvm::legacy::PassManager pm;
        llvm::MCContext* mc = nullptr;
        llvm::raw_svector_ostream os(t.object);
        if (machine.tm->addPassesToEmitMC(pm, mc, os))
            t.error = "the native code could not be compiled (no object emitter)";
        else {
            pm.run(m);
            object_to_cache(t);
        }
    } catch (const std::exception& e) {
        t.error = e.what();
    }
}

} // namespace

// Parts t.first..t.end of a pass (and its main function when t.main).
void native_detail::compile_module(const native_listing& listing, int level,
                                   const std::string& name, const llvm::DataLayout& layout,
                                   module_task& t) {
    emit_module(level, layout, t, [&](llvm::LLVMContext& cx, llvm::Module& m) {
        pass_builder builder(cx, m, listing, level);
        if (level == 0 && !std::getenv("KAVREL_X_INLINE")) builder.lookups_as_calls();
        builder.build(name, t.first, t.end, t.main);
    });
}

std::vector<std::size_t> native_detail::part_sizes(const native_listing& listing, int level) {
    std::vector<std::size_t> sizes;
    llvm::LLVMContext cx;
    llvm::Module m("plan", cx);
    pass_builder planner(cx, m, listing, level);
    for (const auto& p : planner.plan()) sizes.push_back(p.to - p.from);
    return sizes;
}

namespace {

// The rates the rates pass only copies from a value slot, each stored once
// (rate slot -> value slot), where nothing else in the pass writes that value
// and the pass makes no calls (which may write any slot). From one step to
// the next the states' update takes such a value itself, read right after
// the pass, not the rate written from it: the way through the rate's store
// and load lay on the chain of steps.
std::map<std::int64_t, std::int64_t> copied_rates(const native_listing& rates) {
    std::map<std::int64_t, std::int64_t> copied;
    std::set<std::int64_t> not_copies, value_stores;
    for (const native_op& o : rates.ops) {
        if (o.code == fo_rate || o.code == fo_call || o.code == fo_unit || o.code == fo_wide ||
            o.code == fo_copy)
            return {};
        const native_operand& to = o.field[2];
        if (to.kind == nk_value) value_stores.insert(to.index);
        if (to.kind != nk_rate) continue;
        if (copied.count(to.index) || not_copies.count(to.index)) {
            copied.erase(to.index);
            not_copies.insert(to.index);
        } else if (o.code == fo_store_s && o.field[0].kind == nk_value) {
            copied[to.index] = o.field[0].index;
        } else {
            not_copies.insert(to.index);
        }
    }
    for (auto c = copied.begin(); c != copied.end();)
        c = value_stores.count(c->second) ? copied.erase(c) : std::next(c);
    return copied;
}

// The two passes of a steps function, built as their own compiles build them
// and then made internal, so that they are inlined into the loop; with
// level, the functions they call are inlined as well. *quads: the rate
// slots the rates pass stores four at a time.
void build_step_passes(llvm::LLVMContext& cx, llvm::Module& m, const native_listing& dynamic,
                       const native_listing& rates, int level, const std::string& name,
                       llvm::Function* passes[2], std::set<std::int64_t>* quads) {
    // The rates pass runs only once the dynamic pass has returned 0 in the
    // same step: the values that pass tested are finite then.
    pass_builder::slot_set tested;
    for (int k = 0; k < 2; ++k) {
        pass_builder builder(cx, m, k ? rates : dynamic, level);
        if (level == 0) builder.lookups_as_calls();
        builder.bound_straight_parts();
        if (k == 1) builder.finite_before(tested);
        passes[k] = builder.build(name + (k ? "_rates" : "_dynamic"));
        if (k == 0) tested = builder.tested_stores();
        if (k == 1) *quads = builder.rate_quads();
        passes[k]->setLinkage(llvm::Function::InternalLinkage);
        if (level) passes[k]->addFnAttr(llvm::Attribute::AlwaysInline);
    }
    // The passes whole in the loop (they are small): a step's values stay
    // in registers from the update through both passes.
    if (level)
        for (llvm::Function& f : m.functions())
            if (!f.isDeclaration() && f.hasFnAttribute(llvm::Attribute::NoInline) &&
                !f.hasFnAttribute(llvm::Attribute::Cold) &&
                f.getCallingConv() == llvm::CallingConv::C) {
                f.removeFnAttr(llvm::Attribute::NoInline);
                f.addFnAttr(llvm::Attribute::AlwaysInline);
            }
}

// The loop of a steps function over native_steps_state: each step updates
// the states, sets the time and runs the two passes, and leaves with a
// native_steps_end when one of them fails or the last step is done.
class steps_builder {
public:
    steps_builder(llvm::LLVMContext& cx, llvm::Module& m, const native_step_shape& shape,
                  llvm::Function* const passes[2],
                  const std::map<std::int64_t, std::int64_t>& copied,
                  const std::set<std::int64_t>& quads, const std::string& name)
        : cx_(cx), b_(cx), shape_(shape), passes_{passes[0], passes[1]}, copied_(copied),
          quads_(quads) {
        f32 = b_.getFloatTy(), f64 = b_.getDoubleTy(), i32 = b_.getInt32Ty(), i64 = b_.getInt64Ty(),
        i8p = b_.getInt8PtrTy();
        f32p = f32->getPointerTo(), f64p = f64->getPointerTo();
        auto* type = llvm::FunctionType::get(i32, {f32p, f32p, i8p}, false);
        fn_ = llvm::Function::Create(type, llvm::Function::ExternalLinkage, name, m);
        values_ = fn_->getArg(0), rates_at_ = fn_->getArg(1), state_ = fn_->getArg(2);
        llvm::MDBuilder md(cx);
        likely_ = md.createBranchWeights(2000, 1), unlikely_ = md.createBranchWeights(1, 2000);
    }

    // The entry reads the state; a step of exactly 1 has a loop of its own.
    void build() {
        b_.SetInsertPoint(BasicBlock::Create(cx_, "entry", fn_));
        read_state();
        BasicBlock* unit_step = BasicBlock::Create(cx_, "unit_step", fn_);
        BasicBlock* other_step = BasicBlock::Create(cx_, "other_step", fn_);
        b_.CreateCondBr(b_.CreateFCmpOEQ(h_read_, llvm::ConstantFP::get(f32, 1.0)), unit_step,
                        other_step);
        steps_loop(unit_step, nullptr);
        steps_loop(other_step, h_read_);
    }

private:
    // One loop's blocks and what its states' update gathers.
    struct loop {
        BasicBlock *entry = nullptr, *head = nullptr;
        Value* h = nullptr; // null for a step of exactly 1
        Value* bad = nullptr;
        // A state's copied rate carried from the step before, and the value
        // slot it is copied from.
        std::vector<std::pair<llvm::PHINode*, std::int64_t>> carried_rates;
    };

    Value* field(std::size_t offset, llvm::Type* t) {
        return b_.CreateBitCast(b_.CreateGEP(b_.getInt8Ty(), state_, b_.getInt64(offset)),
                                t->getPointerTo());
    }
    Value* global(double* at) {
        return b_.CreateIntToPtr(b_.getInt64(reinterpret_cast<std::uint64_t>(at)), f64p);
    }

    void read_state() {
        tables_ = b_.CreateLoad(i8p, field(offsetof(native_steps_state, tables), i8p));
        for (int k = 0; k < 2; ++k) {
            ops_[k] = b_.CreateLoad(i8p, field(offsetof(native_steps_state, ops) + 8 * k, i8p));
            frames_[k] =
                b_.CreateLoad(i8p, field(offsetof(native_steps_state, frame) + 8 * k, i8p));
        }
        first_ = b_.CreateLoad(i64, field(offsetof(native_steps_state, n), i64));
        last_ = b_.CreateLoad(i64, field(offsetof(native_steps_state, last), i64));
        t0_ = b_.CreateLoad(f64, field(offsetof(native_steps_state, t0), f64));
        dt_ = b_.CreateLoad(f64, field(offsetof(native_steps_state, dt), f64));
        h_read_ = b_.CreateLoad(f32, field(offsetof(native_steps_state, h), f32));
    }

    // A step ends early: the step begun and, for a pass, its result.
    void leave(native_steps_end end, Value* step, Value* result) {
        b_.CreateStore(step, field(offsetof(native_steps_state, n), i64));
        if (result) b_.CreateStore(result, field(offsetof(native_steps_state, result), i32));
        b_.CreateRet(b_.getInt32(end));
    }

    // The loop over the steps, from the block entry; h is the step of the
    // states' update, null for a step of exactly 1 (v + 1 r is v + r to the
    // bit, and the multiplication lay on the chain from step to step).
    void steps_loop(BasicBlock* entry, Value* h) {
        loop l;
        l.entry = entry;
        l.h = h;
        l.head = BasicBlock::Create(cx_, "head", fn_);
        BasicBlock* body = BasicBlock::Create(cx_, "step", fn_);
        BasicBlock* done = BasicBlock::Create(cx_, "done", fn_);
        b_.SetInsertPoint(entry);
        b_.CreateBr(l.head);
        b_.SetInsertPoint(l.head);
        llvm::PHINode* n = b_.CreatePHI(i64, 2);
        n->addIncoming(first_, entry);
        b_.CreateCondBr(b_.CreateICmpSLT(n, last_), body, done, likely_);
        b_.SetInsertPoint(done);
        leave(ns_done, n, nullptr);

        b_.SetInsertPoint(body);
        Value* next = b_.CreateAdd(n, b_.getInt64(1));
        update_states(l, next);
        set_time_and_run_passes(next);
        // The copied values, as the rates pass left them.
        for (const auto& [phi, from] : l.carried_rates)
            phi->addIncoming(b_.CreateLoad(f32, b_.CreateGEP(f32, values_, b_.getInt64(from))),
                             b_.GetInsertBlock());
        n->addIncoming(next, b_.GetInsertBlock());
        b_.CreateBr(l.head);
    }

    // The states: v + h r in float, as euler_update computes them, every
    // one updated before any is found not finite; a step that makes one not
    // finite leaves.
    void update_states(loop& l, Value* next) {
        l.bad = b_.getFalse();
        if (shape_.level_slots > 1) update_range(l, 1, shape_.level_slots - 1);
        update_range(l, shape_.value_slots, shape_.hidden_states);
        BasicBlock* states_bad = BasicBlock::Create(cx_, "states_bad", fn_);
        BasicBlock* timed = BasicBlock::Create(cx_, "time", fn_);
        b_.CreateCondBr(l.bad, states_bad, timed, unlikely_);
        b_.SetInsertPoint(states_bad);
        leave(ns_states, next, nullptr);
        b_.SetInsertPoint(timed);
    }

    // A state's copied rate, carried from the step before (the memory's
    // rate on entering).
    Value* carried_rate(loop& l, std::uint64_t at) {
        llvm::IRBuilder<> pre(l.entry->getTerminator());
        llvm::PHINode* phi = llvm::PHINode::Create(f32, 2, "", l.head->getFirstNonPHI());
        phi->addIncoming(pre.CreateLoad(f32, pre.CreateGEP(f32, rates_at_, pre.getInt64(at))),
                         l.entry);
        l.carried_rates.push_back({phi, copied_.at(static_cast<std::int64_t>(at))});
        return phi;
    }

    // States at..at+width-1 (width 1, or 4 as a vector): whether one is not
    // finite (all its exponent bits set).
    Value* update(loop& l, std::uint64_t at, unsigned width) {
        llvm::Type *ft = f32, *it = i32;
        Value* hv = l.h;
        if (width > 1) {
            ft = llvm::FixedVectorType::get(f32, width);
            it = llvm::FixedVectorType::get(i32, width);
            if (l.h) hv = b_.CreateVectorSplat(width, l.h);
        }
        auto slot = [&](Value* base) {
            return b_.CreateBitCast(b_.CreateGEP(f32, base, b_.getInt64(at)), ft->getPointerTo());
        };
        Value* v = slot(values_);
        Value* r = width == 1 && copied_.count(static_cast<std::int64_t>(at))
                       ? carried_rate(l, at)
                       : b_.CreateAlignedLoad(ft, slot(rates_at_), llvm::Align(4));
        Value* x = b_.CreateFAdd(b_.CreateAlignedLoad(ft, v, llvm::Align(4)),
                                 hv ? b_.CreateFMul(hv, r) : r);
        b_.CreateAlignedStore(x, v, llvm::Align(4));
        Value* bits = b_.CreateAnd(b_.CreateBitCast(x, it), llvm::ConstantInt::get(it, 0x7F800000));
        Value* inf = b_.CreateICmpEQ(bits, llvm::ConstantInt::get(it, 0x7F800000));
        if (width == 1) return inf;
        return b_.CreateICmpNE(b_.CreateBitCast(inf, b_.getIntNTy(width)), b_.getIntN(width, 0));
    }

    // Many states: the engine's own update, in vectors as wide as the
    // processor has (the optimiser here makes a loop of one at a time).
    void update_range(loop& l, std::uint64_t from, std::uint64_t count) {
        constexpr std::uint64_t unrolled = 64;
        if (count <= unrolled) {
            // Four at a time where the rates pass stored the four rates with
            // one vector store (a wider read of rates stored in other pieces
            // would wait for those stores); the levels are stored only here.
            // A copied rate comes in a register, and its level is updated
            // alone (four of them gathered into a vector and the levels
            // taken out of it again cost more than the four updates).
            for (std::uint64_t k = 0; k < count;) {
                const std::int64_t at = static_cast<std::int64_t>(from + k);
                const unsigned width =
                    k + 4 <= count && quads_.count(at) && !copied_.count(at) ? 4 : 1;
                l.bad = b_.CreateOr(l.bad, update(l, from + k, width));
                k += width;
            }
            return;
        }
        auto* euler_type = llvm::FunctionType::get(b_.getInt1Ty(), {f32p, f32p, i64, f32}, false);
        bool (*euler)(float*, const float*, std::size_t, float) = &euler_update;
        Value* call =
            b_.CreateCall(euler_type,
                          b_.CreateIntToPtr(b_.getInt64(reinterpret_cast<std::uint64_t>(euler)),
                                            euler_type->getPointerTo()),
                          {b_.CreateGEP(f32, values_, b_.getInt64(from)),
                           b_.CreateGEP(f32, rates_at_, b_.getInt64(from)), b_.getInt64(count),
                           l.h ? l.h : llvm::ConstantFP::get(f32, 1.0)});
        l.bad = b_.CreateOr(l.bad, call);
    }

    // The time as set_time sets it, then the passes in mode em_main; a pass
    // that does not return 0 ends the step with its result.
    void set_time_and_run_passes(Value* next) {
        Value* t = b_.CreateFAdd(t0_, b_.CreateFMul(b_.CreateSIToFP(next, f64), dt_));
        Value* half = b_.CreateFDiv(dt_, llvm::ConstantFP::get(f64, 2.0));
        b_.CreateStore(t, global(&sim_time));
        b_.CreateStore(dt_, global(&sim_dt));
        b_.CreateStore(b_.CreateFAdd(t, half), global(&sim_time_hi));
        b_.CreateStore(b_.CreateFSub(t, half), global(&sim_time_lo));
        b_.CreateStore(b_.CreateFPTrunc(t, f32), values_);
        for (int k = 0; k < 2; ++k) {
            Value* r = b_.CreateCall(
                passes_[k]->getFunctionType(), passes_[k],
                {values_, rates_at_, tables_, ops_[k], b_.getInt32(em_main), frames_[k]});
            BasicBlock* on = BasicBlock::Create(cx_, k ? "stepped" : "rates", fn_);
            BasicBlock* out = BasicBlock::Create(cx_, k ? "rates_out" : "dynamic_out", fn_);
            b_.CreateCondBr(b_.CreateICmpEQ(r, b_.getInt32(0)), on, out, likely_);
            b_.SetInsertPoint(out);
            leave(k ? ns_rates : ns_dynamic, next, r);
            b_.SetInsertPoint(on);
        }
    }

    llvm::LLVMContext& cx_;
    llvm::IRBuilder<> b_;
    const native_step_shape& shape_;
    llvm::Function* passes_[2];
    const std::map<std::int64_t, std::int64_t>& copied_;
    const std::set<std::int64_t>& quads_;
    llvm::Type *f32, *f64, *i32, *i64, *i8p, *f32p, *f64p;
    llvm::Function* fn_;
    Value *values_, *rates_at_, *state_;
    llvm::MDNode *likely_, *unlikely_;
    // What the entry read from the state.
    Value *tables_ = nullptr, *ops_[2] = {}, *frames_[2] = {};
    Value *first_ = nullptr, *last_ = nullptr, *t0_ = nullptr, *dt_ = nullptr, *h_read_ = nullptr;
};

// The steps function of a program: its two passes and the loop of
// native_steps_end over them.
void build_steps(llvm::LLVMContext& cx, llvm::Module& m, const native_listing& dynamic,
                 const native_listing& rates, const native_step_shape& shape, int level,
                 const std::string& name) {
    llvm::Function* passes[2];
    std::set<std::int64_t> quads;
    const std::map<std::int64_t, std::int64_t> copied = copied_rates(rates);
    build_step_passes(cx, m, dynamic, rates, level, name, passes, &quads);
    steps_builder(cx, m, shape, passes, copied, quads, name).build();
}

} // namespace

void native_detail::compile_steps_module(const native_listing& dynamic, const native_listing& rates,
                                         const native_step_shape& shape, int level,
                                         const std::string& name, const llvm::DataLayout& layout,
                                         module_task& t) {
    emit_module(level, layout, t, [&](llvm::LLVMContext& cx, llvm::Module& m) {
        build_steps(cx, m, dynamic, rates, shape, level, name);
    });
}
