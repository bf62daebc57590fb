// Fuzz target: the engine over random models. The input's bytes choose a
// small model (tests/support/random_model.h); whatever it is, it is checked,
// compiled and run with every integration method by the flat passes, by
// native code (in a build with LLVM: -DKAVREL_NATIVE=ON) and by the
// interpreter alone, which must agree to the bit, as must each state
// function written as a level's whole rate and the same call through an
// auxiliary. A disagreement aborts, so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/check.h"
#include "model/codegen.h"
#include "model/model.h"
#include "model/order.h"
#include "sim/interp.h"
#include "sim/native/native.h"
#include "sim/run.h"
#include "tests/support/model_builder.h"
#include "tests/support/random_model.h"

namespace {

bool same(const sim_output& a, int ra, const sim_output& b, int rb) {
    return ra == rb && a.error == b.error && a.times.size() == b.times.size() &&
           a.rows.size() == b.rows.size() &&
           (a.times.empty() || !std::memcmp(a.times.data(), b.times.data(), 4 * a.times.size())) &&
           (a.rows.empty() || !std::memcmp(a.rows.data(), b.rows.data(), 4 * a.rows.size()));
}

[[noreturn]] void disagree(const random_model& m, const char* what, int method) {
    std::fprintf(stderr, "%s (method %d) in the model\n%s", what, method, m.text.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        init_vocabulary();
        set_report_stream(std::fopen("/dev/null", "w"));
        set_message_hook([](int, const char*, const char*) { return 1; });
        // No compiles on the worker thread: each input runs alike every time.
        set_native_mode(nm_off);
        return true;
    }();
    (void)ready;
    byte_source src(data, size);
    model_builder b("fuzz");
    random_model m = build_random_model(b, src);
    sim_program p;
    if (b.finish() && check_model(b.symbols()) == 0 && generate_code(b.symbols(), p) &&
        order_program(b.symbols(), p)) {
        for (int method : {im_euler, im_rk2, im_rk4, im_rk_auto}) {
            sim_options o;
            o.method = method;
            o.rk_tolerance = 0.05;
            sim_output reference, flat;
            set_flat_passes(false);
            int rr = run_program(b.symbols(), p, o, &reference);
            set_flat_passes(true);
            int rf = run_program(b.symbols(), p, o, &flat);
            if (!same(flat, rf, reference, rr)) disagree(m, "The flat passes disagree", method);
            if (native_available()) {
                // Every pass compiled to native code (a build with LLVM).
                sim_output native;
                set_native_mode(nm_tier0);
                int rn = run_program(b.symbols(), p, o, &native);
                set_native_mode(nm_off);
                if (!same(native, rn, reference, rr))
                    disagree(m, "The native code disagrees", method);
            }
            for (const auto& [a, n] : m.twins) {
                std::string other = a;
                other[5] = 'B';
                std::int32_t sa = get_symbol(b.symbols(), b.id(a.c_str())).slot;
                std::int32_t sb = get_symbol(b.symbols(), b.id(other.c_str())).slot;
                for (std::size_t k = 0; k < reference.times.size(); ++k)
                    for (int e = 0; e < n; ++e)
                        if (std::memcmp(&reference.rows[k * reference.value_slots +
                                                        static_cast<std::size_t>(sa + e)],
                                        &reference.rows[k * reference.value_slots +
                                                        static_cast<std::size_t>(sb + e)],
                                        4) != 0)
                            disagree(m, "A state function in a rate disagrees with its auxiliary",
                                     method);
            }
        }
    }
    free_scratch();
    return 0;
}
