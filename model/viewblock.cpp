// Freeing a model's view block. The view records are laid out with the model
// file's reader (modelfile.h); the store frees them with the rest of a model.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/memory.h"
#include "model/model.h"
#include "model/modelfile.h"

void free_view_block(handle views, std::uint32_t count) {
    if (!views) return;
    std::vector<view_rec> recs;
    {
        handle_lock<view_rec> v(views);
        if (!v) return;
        std::uint32_t n = std::min<std::uint32_t>(count, handle_size(views) / sizeof(view_rec));
        recs.assign(v.get(), v.get() + n);
    }
    for (const view_rec& r : recs) {
        if (r.attached && r.index && r.data && handle_valid(r.index) && handle_valid(r.data)) {
            handle_lock<std::uint32_t> ix(r.index);
            handle_lock<std::uint8_t> dt(r.data);
            std::uint32_t ncells = handle_size(r.index) / 4;
            std::uint32_t dbytes = handle_size(r.data);
            for (std::uint32_t i = 1; i < r.count && i < ncells; ++i) {
                std::uint64_t off = 4ull * ix.get()[i];
                if (off + 8 > dbytes) continue;
                auto kind = static_cast<std::int8_t>(dt.get()[off + 2]);
                std::uint32_t payload;
                std::memcpy(&payload, dt.get() + off + 4, 4);
                if (kind >= ek_bitmap && payload && handle_valid(payload)) {
                    if (kind >= ek_attached)
                        free_hblock(payload);
                    else
                        free_handle(payload);
                }
            }
        }
        if (r.index && handle_valid(r.index)) free_handle(r.index);
        if (r.data && handle_valid(r.data)) free_hblock(r.data);
    }
    free_handle(views);
}
