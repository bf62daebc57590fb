// Time bases.
#include "model/timebase.h"

#include <cmath>
#include <cstdio>

#include "foundation/names.h"
#include "foundation/report.h"
#include "model/context.h"

namespace {

handle reading_model() {
    return model_lock_flag != -1 && locked_model_symbols ? locked_model_symbols : cur_model_symbols;
}

} // namespace

symbol_id time_basis_symbol() {
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || !model_hdr) return 0;
    if (model_rec && model_rec->time_base && valid_symbol(model_rec->time_base))
        return model_rec->time_base;
    return model_hdr->w[mh_time_symbol];
}

int time_base_scale(symbol_id id, double* scale, double* offset) {
    if (scale) *scale = 1;
    if (offset) *offset = 0;
    if (id == 0) return 1;
    model_lock_guard g(reading_model(), 0);
    if (!g.ok() || !valid_symbol(id)) return 0;
    if (model_hdr && id == model_hdr->w[mh_time_symbol]) return 1;
    if (sym(id)->type != st_time_base) return 0;
    float s = as_float(sym(id)->min);
    float o = as_float(sym(id)->elems);
    // A time base without a usable scale counts model time as it is.
    if (scale) *scale = is_na(s) || !std::isfinite(s) || s == 0 ? 1.0 : s;
    if (offset) *offset = is_na(o) || !std::isfinite(o) ? 0.0 : o;
    return 1;
}

int time_basis_label(double time, double* value, int raw, char* text, std::size_t size) {
    double scale = 1, offset = 0;
    bool ok = model_rec != nullptr && time_base_scale(model_rec->time_base, &scale, &offset);
    if (!ok) report(10, "In time_basis_label with no time basis");
    double v = raw || !ok || is_na(time) ? time : time * scale + offset;
    if (value) *value = v;
    if (text && size) std::snprintf(text, size, "%s", format_number(v, 0, nullptr));
    return ok ? 1 : 0;
}

double decode_string(const char* label) {
    float v;
    if (!label || !parse_number(label, &v, decimal_comma) || !model_rec) return NA;
    double scale = 1, offset = 0;
    if (!time_base_scale(model_rec->time_base, &scale, &offset)) return NA;
    return (static_cast<double>(v) - offset) / scale;
}
