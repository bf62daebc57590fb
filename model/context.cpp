// The model context record.
#include "model/context.h"

#include <cstring>

#include "foundation/memory.h"
#include "foundation/report.h"

model_context* model_rec = nullptr;
handle model_rec_handle = 0;

handle new_model_context() {
    handle h = new_handle(sizeof(model_context));
    handle_lock<model_context> c(h);
    model_context* ctx = c.get();
    ctx->start = 0;
    ctx->end = 100;
    ctx->special = 100;
    ctx->full_start = 0;
    ctx->full_end = 100;
    ctx->full_step = 1;
    ctx->arrow_step = 1;
    ctx->state = 2;
    ctx->made_up_range = 1;
    ctx->sketch_zoom = 100;
    for (auto& r : ctx->runs) r.run = -1;
    for (auto& w : ctx->window) w = -1;
    ctx->strings = new_cblock(0, 0, 0);
    return h;
}

void free_model_context(handle h) {
    if (!h || !handle_valid(h)) return;
    if (h == model_rec_handle) set_model_rec(0);
    {
        handle_lock<model_context> c(h);
        if (c->strings) free_hblock(c->strings);
        if (c->subscripts) free_handle(c->subscripts);
    }
    free_handle(h);
}

void set_model_rec(handle h) {
    if (model_rec_handle && handle_valid(model_rec_handle)) unlock_handle(model_rec_handle);
    model_rec_handle = 0;
    model_rec = nullptr;
    if (h && handle_valid(h)) {
        model_rec = static_cast<model_context*>(lock_handle(h));
        model_rec_handle = h;
    }
}

const char* ctx_text(const model_context* ctx, std::uint32_t cell) {
    if (!ctx) ctx = model_rec;
    if (!ctx || !cell || !ctx->strings) return "";
    std::uint32_t size = handle_size(ctx->strings);
    if (4ull * cell >= size) return "";
    // The string block stays locked only for the copy into scratch memory.
    handle_lock<char> s(ctx->strings);
    const char* p = s.get() + 4 * std::size_t{cell};
    std::size_t n = strnlen(p, size - 4 * std::size_t{cell});
    char* out = static_cast<char*>(scratch(n + 1));
    std::memcpy(out, p, n);
    return out;
}

std::uint32_t ctx_set_text(model_context* ctx, std::uint32_t cell, const char* text) {
    if (!ctx) ctx = model_rec;
    if (!ctx) return 0;
    if (!ctx->strings) ctx->strings = new_cblock(0, 0, 0);
    std::int32_t c = cblock_set_string(ctx->strings, static_cast<std::int32_t>(cell), text, 0);
    return c < 0 ? 0 : static_cast<std::uint32_t>(c);
}
