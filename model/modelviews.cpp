// The views of a model's diagram: adding views and their element records.
#include <cstring>

#include "foundation/memory.h"
#include "model/modelfile.h"

int add_view(handle symbols, const char* name) {
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t count = get_header_word(symbols, mh_view_count) & 0xFFFF;
    vb = resize_handle(vb, (count + 1) * sizeof(view_rec));
    set_header_word(symbols, mh_views, vb);
    view_rec v{};
    v.background = 0xFFFFFFFFu;
    v.connector = 0x00FF0000u;
    v.fill = 0xFFFFFFFFu;
    v.init_link_colour = 0x00C0C0C0u;
    v.count = 1;
    v.capacity = 20;
    v.zoom = 100;
    std::strncpy(v.name, name ? name : "", sizeof v.name - 1);
    v.index = new_handle(4 * v.capacity);
    v.data = new_cblock(0, 0, 0);
    std::int32_t dummy = cblock_alloc(v.data, 4, 1, 0);
    {
        handle_lock<std::uint32_t> ix(v.index);
        ix.get()[0] = static_cast<std::uint32_t>(dummy);
    }
    {
        handle_lock<view_rec> b(vb);
        b.get()[count] = v;
    }
    set_header_word(symbols, mh_view_count, count + 1);
    return static_cast<int>(count);
}

int add_view_element(handle symbols, int view, const void* record, std::uint32_t bytes) {
    handle vb = get_header_word(symbols, mh_views);
    std::uint32_t count = get_header_word(symbols, mh_view_count) & 0xFFFF;
    if (!vb || view < 0 || static_cast<std::uint32_t>(view) >= count || bytes < 4) return 0;
    view_rec v;
    {
        handle_lock<view_rec> b(vb);
        v = b.get()[view];
    }
    std::int32_t cell = cblock_alloc(v.data, bytes, 1, 0);
    if (cell < 0) return 0;
    {
        handle_lock<std::uint8_t> d(v.data);
        std::memcpy(d.get() + 4ull * cell, record, bytes);
        auto kind = static_cast<std::int8_t>(static_cast<const std::uint8_t*>(record)[2]);
        if (kind >= ek_bitmap) v.attached = 1;
    }
    if (v.count >= v.capacity) {
        v.capacity = static_cast<std::uint16_t>(v.capacity + 20);
        v.index = resize_handle(v.index, 4u * v.capacity);
    }
    {
        handle_lock<std::uint32_t> ix(v.index);
        ix.get()[v.count] = static_cast<std::uint32_t>(cell);
    }
    int number = v.count++;
    handle_lock<view_rec> b(vb);
    b.get()[view] = v;
    return number;
}
