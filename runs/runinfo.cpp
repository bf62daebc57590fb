// Run information for the Datasets page: see runinfo.h.
#include "runs/runinfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "model/blockfile.h"
#include "runs/runfile.h"
#include "sim/runname.h"

namespace {

// The header and the head of a block, and the most of a block read.
constexpr std::size_t header_bytes = sizeof(kmf_header);
constexpr std::size_t max_info_bytes = 1u << 20;

void split_info(const std::string& text, run_file_info& out) {
    const std::size_t nl = text.find('\n');
    out.command_line = text.substr(0, nl);
    out.comment = nl == std::string::npos ? std::string() : text.substr(nl + 1);
}

std::string fixed_text(const char* p, std::size_t room) {
    return std::string(p, strnlen(p, room));
}

} // namespace

bool loaded_run_info(int run, run_file_info& out) {
    out = run_file_info{};
    {
        run_lock l(run);
        if (!l) return false;
        out.type = l->type;
        out.origin = fixed_text(l->origin, sizeof l->origin);
        out.has_info = l->info != 0;
        out.payoff = l->payoff;
    }
    if (out.has_info) split_info(run_info_text(run), out);
    return true;
}

bool parse_run_file_info(const std::uint8_t* data, std::size_t size, run_file_info& out) {
    out = run_file_info{};
    if (!data || size < header_bytes) return false;
    kmf_header h;
    std::memcpy(&h, data, sizeof h);
    if (h.magic[0] != 0x7F || h.magic[1] != 0xF7 || h.magic[2] != 0x17) return false;
    const int order = convert_kmf_header(&h);
    if (order == 0 || !is_run_type_letter(h.type)) return false;
    const bool foreign = order == 2;
    out.type = h.type;
    out.origin = fixed_text(h.name, sizeof h.name);
    std::uint32_t payoff_bits = kmf_word(h, 35);
    std::memcpy(&out.payoff, &payoff_bits, 4);
    if (!kmf_word(h, 38)) return true;
    // The information block: its head, cell 5 (the text's length) and the
    // text from cell 6. A text without its end, or longer than the block or
    // the file, is cut where they end.
    const std::uint8_t* b = data + header_bytes;
    const std::size_t avail = size - header_bytes;
    if (avail < sizeof(bhead) + 4) return false;
    bhead head;
    std::memcpy(&head, b, sizeof head);
    if (foreign) {
        head.guard = swap32(head.guard);
        head.cur = swap32(head.cur);
    }
    if (head.guard != block_guard || head.cur < 6) return false;
    const std::size_t block = std::min<std::size_t>(std::size_t{head.cur} * 4, avail);
    if (block <= 24) {
        out.has_info = true;
        return true;
    }
    const char* text = reinterpret_cast<const char*>(b + 24);
    out.has_info = true;
    split_info(std::string(text, strnlen(text, block - 24)), out);
    return true;
}

bool read_run_file_info(const char* path, run_file_info& out) {
    out = run_file_info{};
    if (!path || !*path) return false;
    const file_handle fh = fh_open_read(path);
    if (fh < 0) return false;
    struct closer {
        file_handle fh;
        ~closer() { fh_close(fh); }
    } close_on_exit{fh};
    const long size = fh_size(fh);
    if (size < static_cast<long>(header_bytes)) return false;
    const std::size_t want =
        std::min<std::size_t>(static_cast<std::size_t>(size), header_bytes + max_info_bytes);
    std::vector<std::uint8_t> bytes(want);
    if (fh_seek(fh, 0, 0) != 0 || fh_read(fh, bytes.data(), want) != want) return false;
    return parse_run_file_info(bytes.data(), bytes.size(), out);
}

std::string run_info_message(const char* name, const run_file_info& info) {
    std::string s = "Information about run ";
    s += name ? name : "";
    s += "\nOrigin: " + info.origin + "\n";
    if (info.has_info) {
        s += "Command line: " + info.command_line + "\n";
        if (!info.comment.empty()) s += "Comment: " + info.comment + "\n";
    }
    if (info.type != 'A' && info.payoff != 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Payoff = %g\n", static_cast<double>(info.payoff));
        s += buf;
    }
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}
