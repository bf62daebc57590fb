// Corrupt model files are refused with one message of their own: no internal
// error on the way out, and nothing left allocated.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/memory.h"
#include "foundation/report.h"
#include "model/blockfile.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"
#include "tests/common/memory_child.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"

namespace {

using namespace model_fixture;
using bytes = std::vector<unsigned char>;

class ModelCorrupt : public testing::Test {
protected:
    void SetUp() override { init_vocabulary(); }

    bytes written(bool foreign) {
        model_builder b(foreign ? "corrupt_be" : "corrupt");
        build_full(b);
        std::string path = temp_path(foreign ? "corrupt_be.kmf" : "corrupt.kmf");
        EXPECT_EQ(b.write(path.c_str(), foreign), 1);
        return file_bytes(path);
    }

    // Reads image and expects it refused with exactly one error (severity 5)
    // that contains why, no internal error, and every block given back.
    void expect_one_error(const bytes& image, const std::string& why) {
        std::size_t live = live_handle_count();
        captured_reports r;
        reset_report_counts();
        model_pair m = read_model_bytes(image.data(), image.size(), "bad.kmf");
        EXPECT_EQ(m.symbols, 0u);
        EXPECT_EQ(report_counts[10], 0) << r.text();
        EXPECT_EQ(report_counts[5], 1) << r.text();
        int others = 0;
        for (int s = 0; s <= 10; ++s)
            if (s != 5) others += report_counts[s];
        EXPECT_EQ(others, 0) << r.text();
        EXPECT_NE(r.text().find(why), std::string::npos) << r.text();
        EXPECT_NE(r.text().find("bad.kmf"), std::string::npos) << r.text();
        EXPECT_EQ(live_handle_count(), live);
        if (m.symbols) free_model(m.header, m.symbols);
    }
};

std::uint32_t get_u32(const bytes& b, std::size_t at, bool foreign) {
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return foreign ? swap32(v) : v;
}
void put_u32(bytes& b, std::size_t at, std::uint32_t v, bool foreign) {
    if (foreign) v = swap32(v);
    std::memcpy(b.data() + at, &v, 4);
}

// File offset of the first stored block of the given content kind after the
// symbol block (0 when the model stores none).
std::size_t block_of_kind(const bytes& b, bool foreign, modelfile_format::content kind) {
    const std::size_t sym = sizeof(kmf_header);
    std::size_t at = sym + 4ull * get_u32(b, sym + 8, foreign);
    for (const auto& s : modelfile_format::stored_blocks) {
        if (!get_u32(b, sym + 4ull * (model_header_cell + s.word), foreign)) continue;
        if (s.kind == kind) return at;
        at += 4ull * get_u32(b, at + 8, foreign);
    }
    return 0;
}

TEST_F(ModelCorrupt, SymbolBlockTooShortForTheModelHeader) {
    for (bool foreign : {false, true}) {
        bytes image = written(foreign);
        const std::size_t sym = sizeof(kmf_header);
        // A sound block of 20 cells: the header's 48 words do not fit.
        put_u32(image, sym + 8, 20, foreign);
        put_u32(image, sym + 12, 20, foreign);
        SCOPED_TRACE(foreign ? "foreign" : "native");
        expect_one_error(image, "symbol table");
    }
}

// A damaged model offset that points at or past the file's end is named as
// such (it was told as a block head the file ends inside, billions of bytes
// past the end).
TEST_F(ModelCorrupt, ModelOffsetPastTheEndIsNamed) {
    for (bool foreign : {false, true}) {
        SCOPED_TRACE(foreign ? "foreign" : "native");
        bytes image = written(foreign);
        const auto size = static_cast<std::uint32_t>(image.size());
        for (std::uint32_t off : {0xFF0000A4u, size}) {
            put_u32(image, 84, off, foreign);
            expect_one_error(image, "model offset " + std::to_string(off) +
                                        " is past the file's end (" + std::to_string(size) +
                                        " bytes)");
        }
    }
}

TEST_F(ModelCorrupt, ForeignBlockThatFailsConversion) {
    bytes image = written(true);
    // A token text whose length runs past its block.
    std::size_t tokens = block_of_kind(image, true, modelfile_format::ct_tokens);
    ASSERT_NE(tokens, 0u);
    put_u32(image, tokens + 20, 0x7FFFFFFF, true);
    expect_one_error(image, "Corrupted block reading file");

    // An equation record that claims more nodes than its block holds.
    image = written(true);
    std::size_t eqs = block_of_kind(image, true, modelfile_format::ct_equations);
    ASSERT_NE(eqs, 0u);
    put_u32(image, eqs + 20 + 16, 0x10000, true);
    expect_one_error(image, "Corrupted block reading file");
}

TEST_F(ModelCorrupt, BlockHeadsClaimingHugeSizesAreRefusedBeforeMemoryIsTaken) {
    const std::size_t sym = sizeof(kmf_header);
    const std::uint32_t gib_cells = (1u << 28) + 5; // 1 GiB of cells after the head
    struct row {
        const char* what;
        std::function<void(bytes&)> change;
        const char* said;
    };
    const row rows[] = {
        {"the symbol block (128 MiB), its header unchanged",
         [&](bytes& b) {
             put_u32(b, sym + 8, (1u << 25) + 5, false);
             put_u32(b, sym + 12, (1u << 25) + 5, false);
         },
         "symbol table size"},
        {"the symbol block and its header alike",
         [&](bytes& b) {
             put_u32(b, sym + 8, gib_cells, false);
             put_u32(b, sym + 12, gib_cells, false);
             put_u32(b, sym + 4 * (model_header_cell + mh_sym_end), gib_cells, false);
         },
         "more than such a block can hold"},
        {"the equation block",
         [&](bytes& b) {
             std::size_t eqs = block_of_kind(b, false, modelfile_format::ct_equations);
             put_u32(b, eqs + 8, gib_cells, false);
             put_u32(b, eqs + 12, gib_cells, false);
         },
         "more than such a block can hold"},
    };
    const std::string folder = fresh_dir("kvhuge");
    for (const row& r : rows) {
        bytes image = written(false);
        r.change(image);
        // The file is as long as the head claims: zeros, on disk as a hole.
        std::string path = folder + "/huge.kmf";
        put_bytes(path, image);
        ASSERT_EQ(::truncate(path.c_str(), (1LL << 30) + 4096), 0);
        std::size_t live = live_handle_count();
        {
            captured_reports c;
            reset_report_counts();
            model_pair m = read_model_file(path.c_str());
            EXPECT_EQ(m.symbols, 0u) << r.what;
            EXPECT_EQ(report_counts[5], 1) << r.what << c.text();
            EXPECT_NE(c.text().find(r.said), std::string::npos) << r.what << c.text();
            EXPECT_NE(c.text().find(path), std::string::npos) << c.text();
        }
        EXPECT_EQ(live_handle_count(), live) << r.what;
        EXPECT_TRUE(memory_child::within(64u << 20,
                                         [&] {
                                             set_report_stream(nullptr);
                                             return read_model_file(path.c_str()).symbols == 0;
                                         }))
            << r.what << ": more memory than a sound block may take";
        ::unlink(path.c_str());
    }
    ::rmdir(folder.c_str());
}

TEST_F(ModelCorrupt, OpenFailuresAndShortFilesSayWhy) {
    const std::string folder = fresh_dir("kvopen");
    const std::string pipe = folder + "/pipe.kmf";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string loop = folder + "/loop.kmf";
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    bytes image = written(false);
    const std::string tiny = folder + "/tiny.kmf", cut = folder + "/cut.kmf";
    put_bytes(tiny, bytes(image.begin(), image.begin() + 2));
    put_bytes(cut, bytes(image.begin(), image.begin() + 100));
    struct row {
        std::string path;
        std::string said;
    } rows[] = {
        {pipe, "Unable to open " + pipe + ": Is a named pipe"},
        {loop, "Unable to open " + loop + ": Too many levels of symbolic links"},
        {folder, "Unable to open " + folder + ": Is a directory"},
        {tiny, "Unable to read " + tiny + ": the file has 2 bytes"},
        {cut, "Unable to read the header of " + cut + ": the file ends at byte 100 of its 164"},
    };
    for (const row& r : rows) {
        captured_reports c;
        reset_report_counts();
        EXPECT_EQ(read_model_file(r.path.c_str()).symbols, 0u) << r.path;
        EXPECT_EQ(report_counts[5], 1) << c.text();
        EXPECT_NE(c.text().find(r.said), std::string::npos) << c.text();
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

TEST_F(ModelCorrupt, OwnedHandleEndsTheLockBeforeFreeing) {
    std::size_t live = live_handle_count();
    reset_report_counts();
    {
        owned_handle<std::uint32_t> a(new_handle(64));
        a.lock()[0] = 7;
        EXPECT_EQ(a.lock()[0], 7u) << "one lock, the same pointer";
        EXPECT_EQ(handle_lock_count(a.get()), 1u);
        owned_handle<std::uint32_t> b(new_handle(16));
        b.lock();
        handle kept = b.release();
        EXPECT_EQ(handle_lock_count(kept), 0u);
        EXPECT_TRUE(handle_valid(kept));
        a.reset(kept);
        EXPECT_EQ(a.get(), kept);
    }
    EXPECT_EQ(live_handle_count(), live);
    EXPECT_EQ(report_counts[10], 0);
}

} // namespace
