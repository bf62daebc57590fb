// Block files: headers and stored indexed blocks.
#include "model/blockfile.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/constants.h"

bool kmf_foreign = false;

void swap_words(void* data, std::size_t words) {
    auto* p = static_cast<std::uint32_t*>(data);
    for (std::size_t i = 0; i < words; ++i) p[i] = swap32(p[i]);
}

const char* block_file_name(file_handle fh) {
    const char* n = fh_name(fh);
    return n && *n ? n : "(unnamed)";
}

int convert_kmf_header(kmf_header* h) {
    if (h->byte_order == kmf_byte_order_mark) return 1;
    if (swap16(h->byte_order) != kmf_byte_order_mark) return 0;
    h->byte_order = swap16(h->byte_order);
    h->version = swap16(h->version);
    swap_words(h->words, 20);
    return 2;
}

file_handle open_block_file(const char* name, kmf_header* header, int mode, int) {
    kmf_foreign = false;
    file_handle fh = fh_open_read(name);
    if (fh < 0) {
        int why = errno;
        if (mode != -1)
            report(5, "Unable to open %s: %s", name ? name : "", file_error_text(why).c_str());
        return -1;
    }
    std::uint8_t magic[3];
    if (fh_read(fh, magic, 3) != 3) {
        long size = fh_size(fh);
        fh_close(fh);
        if (mode != -1)
            report(5, "Unable to read %s: the file has %ld bytes, too few for any header", name,
                   size < 0 ? 0L : size);
        return -1;
    }
    if (std::memcmp(magic, kmf_magic, 3) != 0) {
        fh_close(fh);
        if (mode != -1) report(5, "%s is not a binary model or data file", name);
        return -2;
    }
    if (mode == -1) {
        fh_seek(fh, 0, 0);
        if (header) {
            kmf_header h{};
            if (fh_read(fh, &h, sizeof h) == sizeof h) {
                kmf_foreign = convert_kmf_header(&h) == 2;
                *header = h;
            }
            fh_seek(fh, 0, 0);
        }
        return fh;
    }
    kmf_header h{};
    fh_seek(fh, 0, 0);
    if (fh_read(fh, &h, sizeof h) != sizeof h) {
        long size = fh_size(fh);
        fh_close(fh);
        report(5, "Unable to read the header of %s: the file ends at byte %ld of its %zu", name,
               size < 0 ? 0L : size, sizeof h);
        return -1;
    }
    int order = convert_kmf_header(&h);
    kmf_foreign = order == 2;
    if (header) *header = h;
    return fh;
}

handle read_block_raw(file_handle fh, bool foreign, std::uint32_t limit_bytes) {
    bhead head{};
    long at = fh_seek(fh, 0, 1);
    if (fh_read(fh, &head, sizeof head) != sizeof head) {
        report(
            5,
            "Bad/incomplete block in file read (%s): the file ends inside a block head at byte %ld",
            block_file_name(fh), at);
        return 0;
    }
    if (foreign) swap_words(&head, 5);
    std::uint32_t letter = head.kind & 0xFF;
    if (head.guard != block_guard || (letter != 'H' && letter != 'C')) {
        report(5, "Bad block head in file read (%s)", block_file_name(fh));
        return 0;
    }
    long pos = fh_seek(fh, 0, 1);
    long size = fh_size(fh);
    std::uint64_t rest = pos >= 0 && size >= pos ? static_cast<std::uint64_t>(size - pos) : 0;
    if (limit_bytes && limit_bytes < rest) rest = limit_bytes;
    std::uint32_t low = letter == 'C' ? 6 : 5;
    // The byte size (4 * size) must fit 32 bits: a larger count is no block of ours.
    if (head.size < low || head.cur < low || head.cur > head.size || head.size != head.cur ||
        head.size > block_max_cells || head.step > (1u << 24)) {
        report(5, "Corrupted block reading file %s: the block head at byte %ld is not sound",
               block_file_name(fh), at);
        return 0;
    }
    if ((std::uint64_t{head.size} - 5) * 4 > rest) {
        std::uint64_t left = pos >= 0 && size >= pos ? static_cast<std::uint64_t>(size - pos) : 0;
        if ((std::uint64_t{head.size} - 5) * 4 > left)
            report(5,
                   "Corrupted block reading file %s: the block at byte %ld needs %llu bytes, the "
                   "file has %llu after its head",
                   block_file_name(fh), at,
                   static_cast<unsigned long long>((std::uint64_t{head.size} - 5) * 4),
                   static_cast<unsigned long long>(left));
        else
            report(5,
                   "Corrupted block reading file %s: the block at byte %ld claims %llu bytes, "
                   "more than such a block can hold",
                   block_file_name(fh), at,
                   static_cast<unsigned long long>((std::uint64_t{head.size} - 5) * 4));
        return 0;
    }
    owned_handle<std::uint32_t> block(new_handle(head.size * 4));
    std::uint32_t* b = block.lock();
    std::memcpy(b, &head, sizeof head);
    std::size_t bytes = (std::size_t{head.size} - 5) * 4;
    if (bytes && fh_read(fh, b + 5, bytes) != bytes) {
        b[1] = 0;
        report(5, "Bad/incomplete block in file read (%s): the block at byte %ld cannot be read",
               block_file_name(fh), at);
        return 0;
    }
    if (head.step == 0) reinterpret_cast<bhead*>(b)->step = hblock_default_cells;
    return block.release();
}

handle read_block(file_handle fh) {
    handle h = read_block_raw(fh, kmf_foreign);
    if (h && kmf_foreign) {
        handle_lock<std::uint32_t> b(h);
        swap_words(b.get() + 5, reinterpret_cast<bhead*>(b.get())->cur - 5);
    }
    return h;
}

int write_block_image(file_handle fh, const void* image, std::uint32_t bytes) {
    return fh_write(fh, image, bytes) == bytes ? 1 : 0;
}

int write_block(file_handle fh, handle block, bool foreign, bool raw_cells) {
    if (!block || !handle_valid(block)) return 0;
    std::vector<std::uint32_t> image;
    {
        handle_lock<std::uint32_t> b(block);
        auto* head = reinterpret_cast<const bhead*>(b.get());
        if (head->guard != block_guard || head->cur < 5 || head->cur * 4ull > handle_size(block))
            return 0;
        image.assign(b.get(), b.get() + head->cur);
    }
    image[2] = image[3]; // size written as the used size
    if (foreign) {
        swap_words(image.data(), raw_cells ? 5 : image.size());
    }
    return write_block_image(fh, image.data(), static_cast<std::uint32_t>(image.size() * 4));
}
