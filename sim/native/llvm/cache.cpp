// The code generator's side of the object cache (see sim/native/object_cache.h):
// a module made independent of this process's addresses, and its key.
//
// The emitter calls the engine's functions and reads its values by address
// (inttoptr of a constant). Each such address becomes an external symbol
// named by the build of the library or program it lies in and its offset
// there, defined to the address when the code is linked: the IR, and so the
// object, then say nothing of where this process was loaded, and an object
// compiled in one session links in the next. The JIT's code model is the
// large one, so a symbol's address is the same 64-bit immediate the
// constant was (one relocation instead), and the code is the same.
//
// The key is the SHA-256 of the module's IR as built, before the IR passes,
// with everything that turns that IR into the object: LLVM's version and
// the build of its library, the build of this module (the IR passes and the
// code generator's settings are its code), the target triple, processor
// and features, and the code generator's options. The IR passes and the
// code generator make the same object from the same IR and options (the
// object cache's test compiles a pass twice, alone and on several threads,
// into two empty folders and finds the same entries), so keying the IR
// before them spares a found module their time too. A module with an
// address that cannot be named (not in a loaded file with a build id) has
// no key and is compiled as before.
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/native/compile_internal.h"

using namespace native_detail;

#include <llvm/Bitcode/BitcodeWriter.h>
#include <llvm/Config/llvm-config.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DerivedTypes.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Verifier.h>
#include <llvm/Support/raw_ostream.h>

namespace {

std::string hex(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t k = 0; k < n; ++k) {
        s += digits[p[k] >> 4];
        s += digits[p[k] & 15];
    }
    return s;
}

// The loaded file an address lies in: its build id (hex, empty when it has
// none) and its load bias.
struct loaded_file {
    std::string build_id;
    std::uint64_t bias = 0;
    bool found = false;
};

loaded_file file_of(std::uint64_t address) {
    struct search {
        std::uint64_t address;
        loaded_file file;
    } s{address, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto& s = *static_cast<search*>(data);
            bool inside = false;
            for (int k = 0; k < info->dlpi_phnum && !inside; ++k) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[k];
                const std::uint64_t from = info->dlpi_addr + ph.p_vaddr;
                inside = ph.p_type == PT_LOAD && s.address >= from && s.address - from < ph.p_memsz;
            }
            if (!inside) return 0;
            s.file.found = true;
            s.file.bias = info->dlpi_addr;
            for (int k = 0; k < info->dlpi_phnum; ++k) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[k];
                if (ph.p_type != PT_NOTE) continue;
                const auto* p =
                    reinterpret_cast<const unsigned char*>(info->dlpi_addr + ph.p_vaddr);
                std::size_t left = ph.p_memsz;
                while (left >= sizeof(ElfW(Nhdr))) {
                    ElfW(Nhdr) note;
                    std::memcpy(&note, p, sizeof note);
                    const std::size_t name = (note.n_namesz + 3) & ~std::size_t{3};
                    const std::size_t desc = (note.n_descsz + 3) & ~std::size_t{3};
                    const std::size_t size = sizeof note + name + desc;
                    if (size > left) break;
                    if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                        std::memcmp(p + sizeof note, "GNU", 4) == 0 && note.n_descsz > 0) {
                        s.file.build_id = hex(p + sizeof note + name, note.n_descsz);
                        return 1;
                    }
                    p += size;
                    left -= size;
                }
            }
            return 1;
        },
        &s);
    return s.file;
}

// The symbol that names an address (empty when none can): the build of its
// file and its offset there. Addresses of code and static values do not move
// while the process lives.
std::string host_name(std::uint64_t address) {
    // Never destroyed: made on first use, after the exit handler that
    // finishes the worker's compile was registered, they would go before it.
    static auto* mutex = new std::mutex;
    static auto* names = new std::map<std::uint64_t, std::string>;
    {
        std::lock_guard<std::mutex> g(*mutex);
        if (auto n = names->find(address); n != names->end()) return n->second;
    }
    const loaded_file f = file_of(address);
    std::string name;
    if (f.found && !f.build_id.empty()) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%llx",
                      static_cast<unsigned long long>(address - f.bias));
        name = "kavrel.host." + f.build_id + "." + offset;
    }
    std::lock_guard<std::mutex> g(*mutex);
    (*names)[address] = name;
    return name;
}

std::string build_of(const void* address) {
    return file_of(reinterpret_cast<std::uint64_t>(address)).build_id;
}

// Everything but the IR that decides a level's object (made once a level).
const std::string& identity(int level) {
    static std::once_flag once[2];
    static auto* text = new std::string[2]; // never destroyed (see host_name)
    std::call_once(once[level], [level] {
        machine_lease machine(level);
        const llvm::TargetMachine& tm = *machine.tm;
        const llvm::TargetOptions& o = tm.Options;
        bool (*verify)(const llvm::Module&, llvm::raw_ostream*, bool*) = &llvm::verifyModule;
        std::string s = "kavrel native object 1\n";
        s +=
            "llvm " LLVM_VERSION_STRING " build " + build_of(reinterpret_cast<const void*>(verify));
        s += "\ngenerator build " + build_of(reinterpret_cast<const void*>(&object_from_cache));
        s += "\ntriple " + tm.getTargetTriple().str();
        s += "\ncpu " + tm.getTargetCPU().str();
        s += "\nfeatures " + tm.getTargetFeatureString().str();
        s += "\nlevel " + std::to_string(level);
        s += " opt " + std::to_string(static_cast<int>(tm.getOptLevel()));
        s += " code model " + std::to_string(static_cast<int>(tm.getCodeModel()));
        s += " relocation " + std::to_string(static_cast<int>(tm.getRelocationModel()));
        s += " fusion " + std::to_string(static_cast<int>(o.AllowFPOpFusion));
        s += " unsafe " + std::to_string(o.UnsafeFPMath) + std::to_string(o.NoInfsFPMath) +
             std::to_string(o.NoNaNsFPMath) + std::to_string(o.NoSignedZerosFPMath);
        s += " float abi " + std::to_string(static_cast<int>(o.FloatABIType));
        s += " tls " + std::to_string(o.EmulatedTLS);
        s += " options " + std::string(code_generator_options);
        text[level] = s;
    });
    return text[level];
}

// The address a constant pointer is made of, if it is one.
bool address_of(const llvm::Value* v, std::uint64_t* address) {
    const llvm::Value* from = nullptr;
    if (const auto* ce = llvm::dyn_cast<llvm::ConstantExpr>(v);
        ce && ce->getOpcode() == llvm::Instruction::IntToPtr)
        from = ce->getOperand(0);
    else if (const auto* cast = llvm::dyn_cast<llvm::IntToPtrInst>(v))
        from = cast->getOperand(0);
    const auto* number = llvm::dyn_cast_or_null<llvm::ConstantInt>(from);
    if (!number || number->getBitWidth() > 64) return false;
    *address = number->getZExtValue();
    return true;
}

// Every address in m made a symbol; false when one cannot be named (it is
// left as it is).
bool name_addresses(llvm::Module& m, module_task& t) {
    // The constants and casts of addresses, in the order first used.
    std::vector<llvm::Value*> found;
    std::set<llvm::Value*> seen;
    std::vector<llvm::Value*> stack;
    for (llvm::Function& f : m.functions())
        for (llvm::BasicBlock& block : f)
            for (llvm::Instruction& i : block) {
                std::uint64_t address;
                if (address_of(&i, &address) && seen.insert(&i).second) found.push_back(&i);
                for (llvm::Value* op : i.operands()) stack.push_back(op);
                while (!stack.empty()) {
                    llvm::Value* v = stack.back();
                    stack.pop_back();
                    auto* c = llvm::dyn_cast<llvm::ConstantExpr>(v);
                    if (!c || !seen.insert(c).second) continue;
                    if (address_of(c, &address)) found.push_back(c);
                    for (llvm::Value* inner : c->operands()) stack.push_back(inner);
                }
            }
    bool all = true;
    std::map<std::string, llvm::GlobalVariable*> symbols;
    llvm::StructType* opaque = nullptr;
    for (llvm::Value* v : found) {
        std::uint64_t address = 0;
        address_of(v, &address);
        const std::string name = host_name(address);
        if (name.empty()) {
            all = false;
            continue;
        }
        llvm::GlobalVariable*& g = symbols[name];
        if (!g) {
            // Of a type of unknown size: nothing is assumed of what lies there.
            if (!opaque) opaque = llvm::StructType::create(m.getContext(), "kavrel.host");
            g = new llvm::GlobalVariable(m, opaque, false, llvm::GlobalValue::ExternalLinkage,
                                         nullptr, name);
            t.hosts.emplace_back(name, address);
        }
        v->replaceAllUsesWith(llvm::ConstantExpr::getPointerCast(g, v->getType()));
        if (auto* cast = llvm::dyn_cast<llvm::Instruction>(v)) cast->eraseFromParent();
    }
    return all;
}

} // namespace

// The LLVM options the JIT sets for every compile (see the_jit).
const char* const native_detail::code_generator_options = "-optimize-regalloc";

bool native_detail::object_from_cache(int level, llvm::Module& m, module_task& t) {
    t.hosts.clear();
    t.keyed = false;
    // Not found when only the cache's code is wanted: nothing more to do.
    auto not_found = [&t] {
        if (!t.cache_only) return false;
        t.error = "the module is not in the cache";
        return true;
    };
    if (!name_addresses(m, t)) {
        if (!t.cache_only) cache_unkeyed();
        return not_found();
    }
    // A dump wants the IR of every module, compiled.
    if (!cache_on() || std::getenv("KAVREL_NATIVE_DUMP")) return not_found();
    llvm::SmallVector<char, 0> bitcode;
    {
        llvm::raw_svector_ostream os(bitcode);
        llvm::WriteBitcodeToFile(m, os);
    }
    t.key = make_cache_key(identity(level), std::string_view(bitcode.data(), bitcode.size()));
    t.keyed = true;
    std::vector<char> object;
    if (!cache_find(t.key, object, !t.cache_only)) return not_found();
    t.object.assign(object.begin(), object.end());
    return true;
}

void native_detail::object_to_cache(const module_task& t) {
    if (t.keyed && t.error.empty() && !t.object.empty())
        cache_keep(t.key, std::string_view(t.object.data(), t.object.size()));
}
