// The variable dialog over a 50,000-variable model: "*" matched against
// every symbol and the names loaded into the dialog's long list, and a typed
// prefix found in that list. Target: under 50 ms for the listing.
#include "resources/varselect.h"
#include "foundation/memory.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/win.h"
#include "resources/dialogs.h"
#include "shell/controls/longlist.h"
#include "shell/varselect.h"
#include "tests/support/model_builder.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int variable_count = 50000;

// The model (made once, kept open for every benchmark) and a modeless
// variable dialog over it.
HWND dialog_over_large_model() {
    static HWND dialog = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        platform_ensure_application();
        init_vocabulary();
        std::string path = "/tmp/kavrel_bench_varselect.kmf";
        {
            model_builder b("many");
            for (int i = 0; i < variable_count; ++i) {
                std::string name = "variable " + std::to_string(i) + " of the sector";
                b.constant(name.c_str(), static_cast<float>(i));
            }
            b.write(path.c_str());
        }
        open_model(1, -1, path.c_str(), 0);
        WNDCLASS wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = longlist_proc;
        wc.cbWndExtra = 8;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
        wc.lpszClassName = "Kavrel_longlist";
        RegisterClass(&wc);
        register_dialog_templates();
        return CreateDialogParam(nullptr, MAKEINTRESOURCE(dlg_variable_dialog), nullptr,
                                 variable_proc, 0);
    }();
    return dialog;
}

void BM_ListEveryVariableIntoTheDialog(benchmark::State& state) {
    HWND d = dialog_over_large_model();
    int n = 0;
    for (auto _ : state) {
        n = list_by_pattern("*", false);
        benchmark::DoNotOptimize(n);
    }
    if (n < variable_count) state.SkipWithError("the model's variables were not listed");
    state.SetItemsProcessed(state.iterations() * n);
    (void)d;
}
BENCHMARK(BM_ListEveryVariableIntoTheDialog)->Unit(benchmark::kMillisecond);

void BM_TypedPrefixSelectsInTheList(benchmark::State& state) {
    HWND d = dialog_over_large_model();
    list_by_pattern("*", false);
    int i = 0;
    for (auto _ : state) {
        std::string typed = "variable " + std::to_string((i++ * 7919) % variable_count) + " of";
        SetDlgItemText(d, idv_name, typed.c_str());
        benchmark::DoNotOptimize(SendDlgItemMessage(d, idv_list, ll_selected, 0, 0));
    }
}
BENCHMARK(BM_TypedPrefixSelectsInTheList)->Unit(benchmark::kMillisecond);

} // namespace
