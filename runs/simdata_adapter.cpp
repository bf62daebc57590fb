// The engine's data-source reader over get_run_data (see simdata_adapter.h).
#include "runs/simdata_adapter.h"

#include <filesystem>
#include <string>

#include "foundation/files.h"
#include "foundation/report.h"
#include "model/constants.h"
#include "runs/readback.h"
#include "sim/interp.h"
#include "sim/run.h"
#include "sim/runname.h"

namespace {

int (*sheet_reader)(const data_source_call&, std::vector<std::vector<float>>*,
                    std::vector<std::vector<float>>*) = nullptr;

std::string run_file_path(const std::string& name) {
    std::string file = set_extension(name.c_str(), fk_run, 0);
    std::error_code ec;
    std::filesystem::path p(file);
    if (p.is_relative() && !std::filesystem::exists(p, ec)) {
        // A bare run name: the run file beside the open model.
        const char* beside = dataset_path(set_extension(name.c_str(), fk_none, 1));
        if (beside && *beside) return beside;
    }
    return file;
}

} // namespace

int read_run_data_source(const data_source_call& call, std::vector<std::vector<float>>* times,
                         std::vector<std::vector<float>>* values) {
    const bool constants = call.function == fn_get_kdf_constants;
    const bool series = call.function == fn_get_kdf_data || call.function == fn_get_kdf_lookups;
    if (!constants && !series) {
        if (sheet_reader) return sheet_reader(call, times, values);
        report(5, "Unable to read %s: spreadsheet sources are not available in this version",
               call.texts.empty() ? "" : call.texts[0].c_str());
        return 0;
    }
    if (call.texts.size() < 2 || call.elements <= 0 || !values || (series && !times)) {
        report(5, "Unable to get data for %s: incomplete arguments", call.target.c_str());
        return 0;
    }
    const float a = call.numbers.empty() ? 0.0f : call.numbers[0];
    const float b = call.numbers.size() < 2 ? 0.0f : call.numbers[1];
    const std::string file = call.texts[0].empty() ? std::string() : run_file_path(call.texts[0]);
    if (!file.empty()) data_source_index(file.c_str());
    const auto n = static_cast<std::size_t>(call.elements);
    if (constants) {
        run_const_dest dest{1, call.elements, nullptr};
        if (!get_run_data(nullptr, &dest, file.c_str(), call.texts[1].c_str(), a, 0)) return 0;
        values->assign(n, {});
        for (std::size_t k = 0; k < n; ++k) (*values)[k] = {dest.row[k][0]};
        return 1;
    }
    run_data_dest dest{call.elements, nullptr};
    if (!get_run_data(&dest, nullptr, file.c_str(), call.texts[1].c_str(), a, b)) return 0;
    times->assign(n, {});
    values->assign(n, {});
    for (std::size_t k = 0; k < n; ++k) {
        const run_data_block* blk = dest.blocks[k];
        const auto count = static_cast<std::size_t>(blk->count > 0 ? blk->count : 0);
        (*times)[k].assign(blk->times, blk->times + count);
        (*values)[k].assign(blk->values, blk->values + count);
    }
    return 1;
}

void install_run_data_source_reader() {
    set_data_source_reader(read_run_data_source);
}

void set_spreadsheet_source_reader(int (*reader)(const data_source_call& call,
                                                 std::vector<std::vector<float>>* times,
                                                 std::vector<std::vector<float>>* values)) {
    sheet_reader = reader;
}
