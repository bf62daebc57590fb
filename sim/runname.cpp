// Run names, run-file paths and run types (see runname.h).
#include "sim/runname.h"

#include <cstring>
#include <string>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/context.h"

bool ask_dataset_overwrite = true;

const char* run_name_or_current(model_context* ctx) {
    if (!ctx) ctx = model_rec;
    if (ctx) {
        const char* n = ctx_text(ctx, ctx->setup.run_name);
        if (n && *n) return n;
        n = ctx_text(ctx, ctx->last_run_name);
        if (n && *n) return n;
    }
    return "Current";
}

char* dataset_path(const char* run_name) {
    char* named = set_extension(run_name ? run_name : "", fk_run, 0);
    return scratch_strdup(full_path(nullptr, named).c_str());
}

int check_dataset_name(char** name_slot, int overwrite_allowed) {
    if (!name_slot) return -1;
    std::string name = *name_slot ? *name_slot : "";
    std::size_t a = name.find_first_not_of(" \t\r\n");
    std::size_t b = name.find_last_not_of(" \t\r\n");
    name = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
    if (file_kind_of(name.c_str(), -1) == fk_run) name = set_extension(name.c_str(), fk_none, 1);
    const char* base = file_name_part(name.c_str());
    bool bad = !*base;
    for (const char* p = name.c_str(); *p && !bad; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || std::strchr("*?\"<>|", c)) bad = true;
    }
    if (bad) {
        report(8, "%s is not a valid dataset name", *name_slot ? *name_slot : "");
        return -1;
    }
    if (!*name_slot || name != *name_slot) *name_slot = scratch_strdup(name.c_str());
    const char* path = dataset_path(name.c_str());
    if (!overwrite_allowed && ask_dataset_overwrite) return ask_overwrite(path) ? 1 : -1;
    // A run file the user made read-only is never replaced without a word.
    return ask_replace_read_only(path) ? 1 : -1;
}

bool is_run_type_letter(char t) {
    return t != 0 && std::strchr(run_type_letters, t) != nullptr;
}
