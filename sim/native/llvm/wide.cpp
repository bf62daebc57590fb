// Units of several lanes as native loops (see wide.h).
#include "sim/native/llvm/wide.h"

#include <atomic>

#include "sim/native/compile_internal.h"
#include "sim/native/native.h"

#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include <llvm/IR/Constants.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/Module.h>

#include "sim/flat_ops.h"

namespace {

using llvm::BasicBlock;
using llvm::PHINode;
using llvm::Type;
using llvm::Value;

// The chunk loops' chunk: a unit that fails has stored the same lanes.
constexpr std::uint64_t chunk = 256;
// Runs of a unit on its chunk loops after its loop met NA or a value not
// finite.
constexpr std::uint32_t rest_runs = 15;
// Lanes a vector step computes: two registers of four doubles with AVX2,
// legalised to narrower registers elsewhere (the same values either way).
constexpr unsigned width = 8;

// Marks the branch back to a loop's start so that the optimiser does not
// unroll the loop: unrolled, a pass of a hundred units holds thousands of
// loads and stores, which made its -O1 compile ten times slower.
void kept_as_loop(llvm::BranchInst* back) {
    llvm::LLVMContext& cx = back->getContext();
    llvm::Metadata* disable =
        llvm::MDNode::get(cx, llvm::MDString::get(cx, "llvm.loop.unroll.disable"));
    llvm::MDNode* self = llvm::MDNode::getDistinct(cx, {nullptr, disable});
    self->replaceOperandWith(0, self);
    back->setMetadata(llvm::LLVMContext::MD_loop, self);
}

double wide_pow(double x, double y) {
    return std::pow(x, y);
}

class wide_builder {
public:
    wide_builder(llvm::IRBuilder<>& b, Value* value, Value* rate, const native_listing& l,
                 const native_wide& w)
        : b_(b), value_(value), rate_(rate), l_(l), w_(w) {
        f32_ = b.getFloatTy();
        f64_ = b.getDoubleTy();
        i64_ = b.getInt64Ty();
    }

    // Whether every step is of a kind the loop computes.
    bool compilable() const {
        if (w_.steps.empty() || w_.lanes < 2) return false;
        for (std::size_t k = 0; k < w_.steps.size(); ++k) {
            const native_wide_step& s = w_.steps[k];
            int operands = operand_count(s);
            if (s.op > nw_gather) return false;
            if (s.op == nw_gather) {
                if (s.slots.size() != w_.lanes) return false;
                for (std::int64_t slot : s.slots)
                    if (slot < 0) return false;
            }
            if ((s.op == nw_binary && (s.binary < 0 || s.binary > 14)) ||
                (s.op == nw_pair &&
                 (s.binary < 0 || s.binary > 3 || s.binary2 < 0 || s.binary2 > 3)))
                return false;
            for (int i = 0; i < operands; ++i) {
                const native_wide_operand& x = s.x[i];
                if (x.kind == nwk_step && x.step >= k) return false;
                if (x.kind != nwk_step && x.at.kind != nk_value && x.at.kind != nk_number)
                    return false;
                if (x.kind == nwk_lane && x.at.kind != nk_value) return false;
                if (x.at.kind == nk_number &&
                    static_cast<std::size_t>(x.at.index) >= l_.numbers.size())
                    return false;
            }
        }
        return w_.target.kind == nk_value || w_.target.kind == nk_rate;
    }

    void emit(const std::function<void()>& exact) {
        llvm::Function* fn = b_.GetInsertBlock()->getParent();
        auto block = [&](const char* name) {
            return BasicBlock::Create(b_.getContext(), name, fn);
        };
        BasicBlock* head = block("wide.chunk");
        BasicBlock* loop = block("wide.lanes");
        BasicBlock* checked = block("wide.checked");
        BasicBlock* next = block("wide.next");
        BasicBlock* resting = block("wide.resting");
        BasicBlock* fused = block("wide.fused");
        BasicBlock* slow = block("wide.slow");
        BasicBlock* exact_block = block("wide.exact");
        BasicBlock* after = block("wide.after");

        // A unit whose loop found a chunk that may hold NA (or a value not
        // finite) goes straight to its chunk loops for its next runs, so
        // that NA read at every step does not cost the loop and the chunk
        // loops both each time; it tries its loop again after them.
        auto* type = b_.getInt32Ty();
        auto* rest = new llvm::GlobalVariable(*fn->getParent(), type, false,
                                              llvm::GlobalValue::PrivateLinkage, b_.getInt32(0),
                                              "wide.rest");
        Value* left = b_.CreateLoad(type, rest);
        b_.CreateCondBr(b_.CreateICmpNE(left, b_.getInt32(0)), resting, fused);
        b_.SetInsertPoint(resting);
        b_.CreateStore(b_.CreateSub(left, b_.getInt32(1)), rest);
        b_.CreateBr(exact_block);
        b_.SetInsertPoint(fused);

        // Values read by every lane, once; an NA among those whose NA counts
        // sends the unit to its chunk loops before it starts.
        Value* least_one = dbl(0);
        for (const native_wide_step& s : w_.steps)
            for (int i = 0; i < 3; ++i) {
                const native_wide_operand& x = s.x[i];
                if (x.kind != nwk_one || !used(s, i)) continue;
                Value*& one = ones_[{x.at.kind, x.at.index}];
                if (!one) {
                    Value* f = x.at.kind == nk_number
                                   ? static_cast<Value*>(llvm::ConstantFP::get(
                                         f32_, l_.numbers[static_cast<std::size_t>(x.at.index)]))
                                   : b_.CreateLoad(f32_, slot(value_, x.at.index, nullptr));
                    one = b_.CreateFPExt(f, f64_);
                }
                if (counts_na(s, i)) least_one = least(least_one, one);
            }
        BasicBlock* entry = b_.GetInsertBlock();
        b_.CreateCondBr(b_.CreateFCmpOLE(least_one, dbl(flat_na)), slow, head);

        // head: the chunk from c0 to end.
        b_.SetInsertPoint(head);
        // (A unit of one chunk has no loop over chunks: less to compile.)
        const bool one_chunk = w_.lanes <= chunk;
        PHINode* c0_phi = one_chunk ? nullptr : b_.CreatePHI(i64_, 2);
        if (c0_phi) c0_phi->addIncoming(b_.getInt64(0), entry);
        Value* c0 = one_chunk ? static_cast<Value*>(b_.getInt64(0)) : c0_phi;
        Value* lanes = b_.getInt64(w_.lanes);
        Value* c1 = b_.CreateAdd(c0, b_.getInt64(chunk));
        Value* end = one_chunk ? lanes : b_.CreateSelect(b_.CreateICmpULT(c1, lanes), c1, lanes);
        // width lanes at a time, the last vector ending at the chunk's end:
        // lanes it computes again get the same values (the unit does not
        // read its target), and no lane is left over. Fewer lanes than a
        // vector go one by one.
        const unsigned n = w_.lanes >= width ? width : 1;
        b_.CreateBr(loop);
        b_.SetInsertPoint(loop);
        PHINode* i = b_.CreatePHI(i64_, 2);
        PHINode* least_f = b_.CreatePHI(vec(f32_, n), 2);
        PHINode* least_d = b_.CreatePHI(vec(f64_, n), 2);
        PHINode* finite = b_.CreatePHI(vec(f32_, n), 2);
        i->addIncoming(c0, head);
        least_f->addIncoming(splat(llvm::ConstantFP::get(f32_, 0.0), n), head);
        least_d->addIncoming(splat(dbl(0), n), head);
        finite->addIncoming(splat(llvm::ConstantFP::get(f32_, 0.0), n), head);
        lane_state st{least_f, least_d, finite};
        Value* at = i;
        if (n > 1) {
            Value* last = b_.CreateSub(end, b_.getInt64(n));
            at = b_.CreateSelect(b_.CreateICmpULT(i, last), i, last);
        }
        lanes_at(at, n, st);
        Value* i_next = b_.CreateAdd(i, b_.getInt64(n));
        BasicBlock* latch = b_.GetInsertBlock();
        i->addIncoming(i_next, latch);
        least_f->addIncoming(st.least_f, latch);
        least_d->addIncoming(st.least_d, latch);
        finite->addIncoming(st.finite, latch);
        kept_as_loop(b_.CreateCondBr(b_.CreateICmpULT(i_next, end), loop, checked));

        // checked: the chunk's verdict.
        b_.SetInsertPoint(checked);
        Value* na_f = splat(llvm::ConstantFP::get(f32_, static_cast<double>(NA)), n);
        Value* bad = b_.CreateOr(b_.CreateOr(b_.CreateFCmpOLE(st.least_f, na_f),
                                             b_.CreateFCmpOLE(st.least_d, dbls(flat_na, n))),
                                 b_.CreateFCmpUNO(st.finite, st.finite));
        if (n > 1) bad = b_.CreateICmpNE(b_.CreateBitCast(bad, b_.getIntNTy(n)), b_.getIntN(n, 0));
        b_.CreateCondBr(bad, slow, next);

        b_.SetInsertPoint(next);
        if (one_chunk) {
            b_.CreateBr(after);
        } else {
            c0_phi->addIncoming(c1, next);
            kept_as_loop(b_.CreateCondBr(b_.CreateICmpULT(c1, lanes), head, after));
        }

        b_.SetInsertPoint(slow);
        b_.CreateStore(b_.getInt32(rest_runs), rest);
        b_.CreateBr(exact_block);
        b_.SetInsertPoint(exact_block);
        exact();
        if (!b_.GetInsertBlock()->getTerminator()) b_.CreateBr(after);
        b_.SetInsertPoint(after);
    }

private:
    struct lane_state {
        Value* least_f; // the least lane operand read (floats)
        Value* least_d; // the least computed operand (doubles)
        Value* finite;  // sum of f - f over the stored floats
    };

    static int operand_count(const native_wide_step& s) {
        return s.op == nw_pair || s.op == nw_if ? 3
               : s.op == nw_binary              ? 2
               : s.op == nw_gather              ? 0
                                                : 1;
    }
    static bool used(const native_wide_step& s, int i) { return i < operand_count(s); }
    // Whether operand i's NA makes the step's result NA (the chunk loops test
    // it there); a pair's computed operand is noted where it is computed.
    static bool counts_na(const native_wide_step& s, int i) {
        switch (s.op) {
        case nw_binary:
            return s.binary <= 4 || s.binary == 14;
        case nw_pair:
        case nw_neg:
            return used(s, i);
        default:
            return false;
        }
    }

    Type* vec(Type* t, unsigned n) { return n == 1 ? t : llvm::FixedVectorType::get(t, n); }
    Value* splat(Value* s, unsigned n) { return n == 1 ? s : b_.CreateVectorSplat(n, s); }
    Value* dbl(double v) { return llvm::ConstantFP::get(f64_, v); }
    Value* dbls(double v, unsigned n) { return splat(dbl(v), n); }
    Value* least(Value* m, Value* x) { return b_.CreateSelect(b_.CreateFCmpOLT(x, m), x, m); }
    Value* flag(Value* cond, unsigned n) { return b_.CreateSelect(cond, dbls(1, n), dbls(0, n)); }

    // The address of slot index + lane i of base, as a pointer to n floats.
    Value* slot(Value* base, std::int64_t index, Value* i, unsigned n = 1) {
        Value* at = b_.getInt64(static_cast<std::uint64_t>(index));
        if (i) at = b_.CreateAdd(at, i);
        Value* p = b_.CreateGEP(f32_, base, at);
        return n == 1 ? p : b_.CreateBitCast(p, vec(f32_, n)->getPointerTo());
    }

    // The steps over lanes i..i+n-1, their result stored; notes into st.
    void lanes_at(Value* i, unsigned n, lane_state& st) {
        std::vector<Value*> results(w_.steps.size());
        std::map<std::int64_t, std::pair<Value*, Value*>> loaded; // slot: floats, doubles
        // The lanes' notes are combined as a tree and then into the running
        // least: one step in the chain that runs from lane to lane.
        std::set<Value*> noted;
        std::vector<Value*> notes_f, notes_d;
        auto note = [&](Value* x) {
            if (noted.insert(x).second) notes_d.push_back(x);
        };
        for (std::size_t k = 0; k < w_.steps.size(); ++k) {
            const native_wide_step& s = w_.steps[k];
            Value* x[3] = {nullptr, nullptr, nullptr};
            for (int j = 0; j < operand_count(s); ++j) {
                const native_wide_operand& o = s.x[j];
                if (o.kind == nwk_step) {
                    x[j] = results[o.step];
                    if (counts_na(s, j)) note(x[j]);
                } else if (o.kind == nwk_one) {
                    x[j] = splat(ones_[{o.at.kind, o.at.index}], n);
                } else {
                    auto& l = loaded[o.at.index];
                    if (!l.first) {
                        l.first = b_.CreateAlignedLoad(vec(f32_, n), slot(value_, o.at.index, i, n),
                                                       llvm::Align(4));
                        l.second = b_.CreateFPExt(l.first, vec(f64_, n));
                    }
                    x[j] = l.second;
                    if (counts_na(s, j) && noted.insert(l.first).second) notes_f.push_back(l.first);
                }
            }
            results[k] = s.op == nw_gather ? gather(k, i, n) : step(s, x, n, note);
        }
        if (!notes_f.empty()) st.least_f = least(st.least_f, tree(notes_f));
        if (!notes_d.empty()) st.least_d = least(st.least_d, tree(notes_d));
        Value* f = b_.CreateFPTrunc(results.back(), vec(f32_, n));
        Value* target = w_.target.kind == nk_rate ? rate_ : value_;
        b_.CreateAlignedStore(f, slot(target, w_.target.index, i, n), llvm::Align(4));
        // f - f is 0 when f is finite, else NaN, which stays in the sum.
        st.finite = b_.CreateFAdd(st.finite, b_.CreateFSub(f, f));
    }

    // Lanes i..i+n-1 of gather step k: their slots from a constant table in
    // the module, the floats read one by one (as the chunk loop reads them).
    Value* gather(std::size_t k, Value* i, unsigned n) {
        llvm::GlobalVariable*& table = slot_tables_[k];
        if (!table) {
            const std::vector<std::int64_t>& slots = w_.steps[k].slots;
            std::vector<std::uint64_t> words(slots.begin(), slots.end());
            llvm::Constant* data = llvm::ConstantDataArray::get(b_.getContext(), words);
            table =
                new llvm::GlobalVariable(*b_.GetInsertBlock()->getModule(), data->getType(), true,
                                         llvm::GlobalValue::PrivateLinkage, data, "wide.slots");
        }
        Value* v = llvm::UndefValue::get(vec(f32_, n));
        for (unsigned j = 0; j < n; ++j) {
            Value* lane = b_.CreateAdd(i, b_.getInt64(j));
            Value* slot = b_.CreateLoad(
                i64_, b_.CreateGEP(table->getValueType(), table, {b_.getInt64(0), lane}));
            Value* f = b_.CreateLoad(f32_, b_.CreateGEP(f32_, value_, slot));
            v = n == 1 ? f : b_.CreateInsertElement(v, f, j);
        }
        return b_.CreateFPExt(v, vec(f64_, n));
    }

    // x ^ y lane by lane, by the chunk loops' std::pow.
    Value* power(Value* x, Value* y, unsigned n) {
        auto* type = llvm::FunctionType::get(f64_, {f64_, f64_}, false);
        Value* fn = b_.CreateIntToPtr(b_.getInt64(reinterpret_cast<std::uint64_t>(&wide_pow)),
                                      type->getPointerTo());
        if (n == 1) return b_.CreateCall(type, fn, {x, y});
        Value* v = llvm::UndefValue::get(vec(f64_, n));
        for (unsigned j = 0; j < n; ++j)
            v = b_.CreateInsertElement(
                v,
                b_.CreateCall(type, fn,
                              {b_.CreateExtractElement(x, j), b_.CreateExtractElement(y, j)}),
                j);
        return v;
    }

    // The least of values, pairwise.
    Value* tree(std::vector<Value*> v) {
        while (v.size() > 1) {
            std::vector<Value*> next;
            for (std::size_t k = 0; k + 1 < v.size(); k += 2) next.push_back(least(v[k], v[k + 1]));
            if (v.size() % 2) next.push_back(v.back());
            v = std::move(next);
        }
        return v[0];
    }

    // + - * / without the NA test (the caller notes the operands).
    Value* arith(int k, Value* x, Value* y) {
        return k == 0   ? b_.CreateFAdd(x, y)
               : k == 1 ? b_.CreateFSub(x, y)
               : k == 2 ? b_.CreateFMul(x, y)
                        : b_.CreateFDiv(x, y);
    }

    // One step as the chunk loops compute it (wide_binary and the others in
    // flat.cpp), the NA tests left to the notes.
    template <typename Note>
    Value* step(const native_wide_step& s, Value* const* x, unsigned n, Note& note) {
        switch (s.op) {
        case nw_pair: {
            Value* t = arith(s.binary, x[0], x[1]);
            note(t);
            return s.right ? arith(s.binary2, x[2], t) : arith(s.binary2, t, x[2]);
        }
        case nw_neg:
            return b_.CreateFNeg(x[0]);
        case nw_not:
            return flag(b_.CreateFCmpOEQ(x[0], dbls(0, n)), n);
        case nw_same:
            return x[0];
        case nw_if:
            return b_.CreateSelect(b_.CreateFCmpUNE(x[0], dbls(0, n)), x[1], x[2]);
        default:
            break;
        }
        Value *a = x[0], *c = x[1];
        switch (s.binary) {
        case 0:
        case 1:
        case 2:
        case 3:
            return arith(s.binary, a, c);
        case 4:
            return power(a, c, n);
        case 5:
            return flag(b_.CreateFCmpOEQ(a, c), n);
        case 6:
            return flag(b_.CreateFCmpUNE(a, c), n);
        case 7:
            return flag(b_.CreateFCmpOLT(a, c), n);
        case 8:
            return flag(b_.CreateFCmpOLE(a, c), n);
        case 9:
            return flag(b_.CreateFCmpOGT(a, c), n);
        case 10:
            return flag(b_.CreateFCmpOGE(a, c), n);
        case 11:
            return flag(
                b_.CreateAnd(b_.CreateFCmpUNE(a, dbls(0, n)), b_.CreateFCmpUNE(c, dbls(0, n))), n);
        case 12:
            return flag(
                b_.CreateOr(b_.CreateFCmpUNE(a, dbls(0, n)), b_.CreateFCmpUNE(c, dbls(0, n))), n);
        case 13: // value_min: y NaN ? y : y < x ? y : x
            return b_.CreateSelect(b_.CreateFCmpUNO(c, c), c,
                                   b_.CreateSelect(b_.CreateFCmpOLT(c, a), c, a));
        default: // value_max: y NaN ? y : x < y ? y : x
            return b_.CreateSelect(b_.CreateFCmpUNO(c, c), c,
                                   b_.CreateSelect(b_.CreateFCmpOLT(a, c), c, a));
        }
    }

    llvm::IRBuilder<>& b_;
    Value *value_, *rate_;
    const native_listing& l_;
    const native_wide& w_;
    Type *f32_, *f64_;
    llvm::IntegerType* i64_;
    std::map<std::pair<int, std::int64_t>, Value*> ones_;      // values read by every lane
    std::map<std::size_t, llvm::GlobalVariable*> slot_tables_; // of gather steps
};

} // namespace

bool emit_wide_copy(llvm::IRBuilder<>& b, llvm::Value* value, llvm::Value* rate,
                    const native_operand& dst, const native_operand& src, std::uint64_t lanes) {
    if (src.kind != nk_value || (dst.kind != nk_value && dst.kind != nk_rate) || src.index < 0 ||
        dst.index < 0 || lanes < width)
        return false;
    const auto n = static_cast<std::int64_t>(lanes);
    // Overlapping lanes are memmove's (the same lanes: nothing to do).
    if (dst.kind == nk_value && dst.index < src.index + n && src.index < dst.index + n)
        return dst.index == src.index;
    llvm::Type* f32 = b.getFloatTy();
    llvm::Type* v = llvm::FixedVectorType::get(f32, width);
    llvm::Function* fn = b.GetInsertBlock()->getParent();
    // Kept a loop of vectors in the pass's own code, not made a call of
    // memcpy (code it is inlined into may still make it one: the JIT links
    // the C library's memcpy for that).
    fn->addFnAttr("no-builtins");
    BasicBlock* entry = b.GetInsertBlock();
    BasicBlock* loop = BasicBlock::Create(b.getContext(), "copy.lanes", fn);
    BasicBlock* after = BasicBlock::Create(b.getContext(), "copy.after", fn);
    b.CreateBr(loop);
    b.SetInsertPoint(loop);
    // The last vector ends at the last lane (lanes copied twice get the same
    // floats).
    PHINode* i = b.CreatePHI(b.getInt64Ty(), 2);
    i->addIncoming(b.getInt64(0), entry);
    Value* last = b.getInt64(lanes - width);
    Value* at = b.CreateSelect(b.CreateICmpULT(i, last), i, last);
    auto address = [&](Value* base, std::int64_t index) {
        Value* p =
            b.CreateGEP(f32, base, b.CreateAdd(at, b.getInt64(static_cast<std::uint64_t>(index))));
        return b.CreateBitCast(p, v->getPointerTo());
    };
    Value* x = b.CreateAlignedLoad(v, address(value, src.index), llvm::Align(4));
    b.CreateAlignedStore(x, address(dst.kind == nk_rate ? rate : value, dst.index), llvm::Align(4));
    Value* next = b.CreateAdd(i, b.getInt64(width));
    i->addIncoming(next, loop);
    kept_as_loop(b.CreateCondBr(b.CreateICmpULT(next, b.getInt64(lanes)), loop, after));
    b.SetInsertPoint(after);
    return true;
}

bool emit_wide_loop(llvm::IRBuilder<>& b, llvm::Value* value, llvm::Value* rate,
                    const native_listing& l, const native_wide& w,
                    const std::function<void()>& exact) {
    wide_builder wb(b, value, rate, l, w);
    if (!wb.compilable()) return false;
    wb.emit(exact);
    ++native_detail::wide_loops;
    return true;
}
