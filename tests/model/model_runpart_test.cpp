// The model part of run files: read_binary_model and open_model on runs made
// by the run builder (every layout it writes, both byte orders) and by the
// engine's writer after a simulation; the identity stamp of the part.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "model/context.h"
#include "model/model.h"
#include "model/modelfile.h"
#include "sim/run.h"
#include "tests/model/model_fixture.h"
#include "tests/support/model_builder.h"
#include "tests/support/run_builder.h"

namespace {

using namespace model_fixture;

// What read_binary_model gave: the header record and what hangs off it.
struct binary_model {
    handle rec = 0;
    char type = 0;
    file_handle fh = -1;
    handle symbols = 0;
    handle info = 0;
    std::string info_text;
    explicit binary_model(const std::string& path) {
        rec = read_binary_model(path.c_str(), 0);
        if (!rec) return;
        handle_lock<kmf_header> h(rec);
        type = h->type;
        fh = static_cast<file_handle>(kmf_word(*h.get(), kdf_word_file));
        symbols = kmf_word(*h.get(), kdf_word_symbols);
        info = kmf_word(*h.get(), kdf_word_info);
        if (info) {
            handle_lock<char> b(info);
            info_text = b.get() + 24;
        }
    }
    ~binary_model() {
        if (!rec) return;
        if (fh >= 0) fh_close(fh);
        if (info) free_handle(info);
        free_model(rec, symbols);
    }
    binary_model(const binary_model&) = delete;
    binary_model& operator=(const binary_model&) = delete;
};

// The CRC-32 the format describes, written out independently of the store.
std::uint32_t crc32_of(const unsigned char* p, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::uint32_t u32_at(const std::vector<unsigned char>& b, std::size_t off) {
    std::uint32_t v = 0;
    if (off + 4 <= b.size()) std::memcpy(&v, b.data() + off, 4);
    return v;
}

// The stamp of the model part of a (little-endian) file at offset at, from
// its bytes: the symbol records of the first block, then the name pool's
// cells (the first stored block after the symbol block).
std::uint32_t stamp_from_bytes(const std::vector<unsigned char>& f, std::size_t at) {
    std::uint32_t cur = u32_at(f, at + 12);
    std::size_t records = at + 4 * std::size_t{first_symbol_cell};
    std::size_t end = at + 4 * std::size_t{cur};
    std::uint32_t crc = crc32_of(f.data() + records, end - records);
    std::uint32_t ncur = u32_at(f, end + 12);
    return crc32_of(f.data() + end + 20, 4 * std::size_t{ncur - 5}, crc);
}

class ModelRunPart : public testing::Test {
protected:
    void SetUp() override {
        init_vocabulary();
        dir_ = fresh_dir("runpart");
    }
    void TearDown() override { close_model(0, 0); }
    std::string path(const char* name) { return dir_ + "/" + name; }

    void build(model_builder& b) {
        build_full(b);
        ASSERT_TRUE(b.finish());
    }
    std::string dir_;
};

TEST_F(ModelRunPart, EveryRunLayoutCarriesTheSameModel) {
    model_builder b("town");
    build(b);
    std::string expected = describe(b.symbols());
    struct layout {
        char type;
        bool foreign;
        bool info;
        bool counts32;
    };
    for (layout l : {layout{'R', false, false, false}, layout{'R', true, true, false},
                     layout{'r', false, true, true}, layout{'r', true, false, false},
                     layout{'P', false, true, false}}) {
        SCOPED_TRACE(std::string(1, l.type) + (l.foreign ? " foreign" : "") +
                     (l.info ? " info" : ""));
        run_builder rb(b.symbols(), l.type);
        rb.times({0, 1, 2}).series("Population", {1000, 1010, 1020});
        rb.foreign(l.foreign).counts32(l.counts32);
        if (l.info) rb.info("sim  town -c a.cin", "a comment");
        if (l.type == 'P') rb.payoff(3.5f);
        std::string p = path("town.kdf");
        ASSERT_EQ(rb.write(p), 1) << rb.error();
        captured_reports r;
        binary_model m(p);
        ASSERT_NE(m.rec, 0u) << r.text();
        EXPECT_EQ(m.type, l.type);
        EXPECT_EQ(describe(m.symbols), expected);
        EXPECT_EQ(get_header_word(m.symbols, mh_flags) & mfl_from_run, mfl_from_run);
        // The file stays open, just after the model part.
        ASSERT_GE(m.fh, 0);
        EXPECT_GT(fh_seek(m.fh, 0, 1), static_cast<long>(rb.layout().model_part));
        EXPECT_LE(fh_seek(m.fh, 0, 1), static_cast<long>(rb.layout().offset_table));
        if (l.info) {
            ASSERT_NE(m.info, 0u);
            EXPECT_EQ(m.info_text, "sim  town -c a.cin\na comment");
        } else {
            EXPECT_EQ(m.info, 0u);
        }
        // Names resolve in the run's model as in the model itself.
        for (const char* name : {"Population", "BIRTH RATE", "regional_pop", "Time"})
            EXPECT_EQ(find_symbol_in(m.symbols, name), find_symbol_in(b.symbols(), name)) << name;
    }
}

TEST_F(ModelRunPart, TheEnginesRunOpensAsAModelWithTheSameSymbols) {
    model_builder b("engine");
    b.control(0, 8, 0.5f, 1);
    b.range("region", {"north", "south"});
    b.constant("growth[region]", 0.1f);
    b.level("Stock[region]", "growth[region] * Stock[region]", "10");
    b.lookup("curve", {{0, 1}, {10, 3}});
    b.aux("shaped", "curve(Time) + SUM(Stock[region!])");
    b.string_var("label", "engine run");
    ASSERT_TRUE(b.finish());
    std::string expected = describe(b.symbols());
    std::string p = path("engine.kdf");
    sim_options o;
    o.run_file = p.c_str();
    o.info = "sim  engine";
    captured_reports r;
    ASSERT_EQ(simulate_model(b.symbols(), o, nullptr), sim_done) << r.text();

    auto bytes = file_bytes(p);
    std::uint32_t stamp = get_header_word(b.symbols(), mh_stamp);
    {
        binary_model m(p);
        ASSERT_NE(m.rec, 0u) << r.text();
        EXPECT_EQ(describe(m.symbols), expected);
        EXPECT_EQ(m.info_text.rfind("sim  engine", 0), 0u) << m.info_text;
        // The stamp: in the model, in the part, and in the run's origin text.
        EXPECT_NE(stamp, 0u);
        EXPECT_EQ(get_header_word(m.symbols, mh_stamp), stamp);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", stamp);
        std::string origin(reinterpret_cast<const char*>(bytes.data()) + 4);
        EXPECT_NE(origin.find(hex), std::string::npos) << origin;
    }
    // open_model on the run: the current model, marked as a run's.
    ASSERT_EQ(open_model(1, -1, p.c_str(), 0), 1) << r.text();
    EXPECT_EQ(describe(cur_model_symbols), expected);
    EXPECT_NE(find_symbol("stock"), 0u);
    EXPECT_EQ(get_header_word(cur_model_symbols, mh_flags) & mfl_from_run, mfl_from_run);
    // Read and written again it is the same part: the stamp does not move.
    std::string again = path("again.kmf");
    ASSERT_EQ(write_model_file(again.c_str(), cur_model_header, cur_model_symbols), 1);
    EXPECT_EQ(get_header_word(cur_model_symbols, mh_stamp), stamp);
}

TEST_F(ModelRunPart, ASimulatedSampleModelReadsBackFromItsRun) {
    int done = 0;
    for (const char* name : {"population", "inventory", "epidemic", "subscripted"}) {
        std::string sample = std::string(KAVREL_BINARY_DIR) + "/samples/" + name + ".kmf";
        if (file_bytes(sample).empty()) continue;
        SCOPED_TRACE(name);
        model_pair m = read_model_file(sample.c_str());
        ASSERT_NE(m.symbols, 0u);
        std::string expected = describe(m.symbols);
        std::string p = path((std::string(name) + ".kdf").c_str());
        sim_options o;
        o.run_file = p.c_str();
        captured_reports r;
        ASSERT_EQ(simulate_model(m.symbols, o, nullptr), sim_done) << r.text();
        {
            binary_model run(p);
            ASSERT_NE(run.rec, 0u) << r.text();
            EXPECT_EQ(describe(run.symbols), expected);
            EXPECT_EQ(get_header_word(run.symbols, mh_stamp), get_header_word(m.symbols, mh_stamp));
        }
        free_model(m.header, m.symbols);
        ++done;
    }
    if (done == 0) GTEST_SKIP() << "the samples are not built";
}

TEST_F(ModelRunPart, TheStampIsTheChecksumOfThePartAsWritten) {
    model_builder b("stamped");
    build(b);
    std::string p1 = path("s1.kmf");
    ASSERT_EQ(b.write(p1.c_str()), 1);
    auto f1 = file_bytes(p1);
    std::uint32_t stamp = get_header_word(b.symbols(), mh_stamp);
    // Stored in header word 27 of the part, and equal to the CRC the format
    // describes over the file's bytes.
    EXPECT_EQ(u32_at(f1, 164 + 4 * (model_header_cell + mh_stamp)), stamp);
    EXPECT_EQ(stamp_from_bytes(f1, 164), stamp);
    EXPECT_EQ(model_part_stamp(b.symbols()), stamp);

    // What the tools leave behind in memory (search marks, depth, uses
    // lists) is not part of the identity, nor of the file.
    {
        model_lock_guard g(b.symbols(), 0);
        sym(b.id("births"))->flags |= sf_mark_04 | sf_mark_10;
        sym(b.id("births"))->depth = 7;
    }
    rebuild_indexes(b.symbols());
    std::string p2 = path("s2.kmf");
    ASSERT_EQ(b.write(p2.c_str()), 1);
    EXPECT_EQ(get_header_word(b.symbols(), mh_stamp), stamp);
    auto f2 = file_bytes(p2);
    ASSERT_EQ(f2.size(), f1.size());
    EXPECT_TRUE(std::equal(f1.begin() + 164, f1.end(), f2.begin() + 164)); // name field aside

    // The other byte order: same stamp, as read back.
    std::string p3 = path("s3.kmf");
    ASSERT_EQ(b.write(p3.c_str(), true), 1);
    EXPECT_EQ(get_header_word(b.symbols(), mh_stamp), stamp);
    model_pair m = read_model_file(p3.c_str());
    ASSERT_NE(m.symbols, 0u);
    EXPECT_EQ(get_header_word(m.symbols, mh_stamp), stamp);
    free_model(m.header, m.symbols);

    // A stale stamp in a file is replaced by the part's own on reading.
    auto stale = f1;
    std::uint32_t wrong = stamp ^ 0x5A5A5A5Au;
    std::memcpy(stale.data() + 164 + 4 * (model_header_cell + mh_stamp), &wrong, 4);
    m = read_model_bytes(stale.data(), stale.size(), "stale.kmf");
    ASSERT_NE(m.symbols, 0u);
    EXPECT_EQ(get_header_word(m.symbols, mh_stamp), stamp);
    free_model(m.header, m.symbols);

    // Another version of the model (one more variable, or a renamed one)
    // has another stamp.
    model_builder c("stamped");
    build_full(c);
    c.constant("one more", 1);
    ASSERT_TRUE(c.finish());
    std::string p4 = path("s4.kmf");
    ASSERT_EQ(c.write(p4.c_str()), 1);
    EXPECT_NE(get_header_word(c.symbols(), mh_stamp), stamp);
}

// The information text's length names the byte of its NUL: that byte must
// lie inside the block's used cells. One past them is refused; the last byte
// of them, a NUL of the padding, still ends the text.
TEST_F(ModelRunPart, TheInformationTextsEndLiesInsideItsBlock) {
    model_builder b("infoend");
    build(b);
    run_builder rb(b.symbols());
    rb.times({0, 1}).series("Population", {1, 2}).info("sim  x", "");
    auto bytes = rb.bytes();
    ASSERT_FALSE(bytes.empty()) << rb.error();
    std::uint32_t cur = 0, length = 0;
    std::memcpy(&cur, bytes.data() + 164 + 12, 4);
    std::memcpy(&length, bytes.data() + 164 + 20, 4);
    ASSERT_GT(cur, 6u);
    const std::uint32_t text_bytes = 4 * (cur - 6);
    // "sim  x": its NUL at 6, then padding to the cell's end.
    ASSERT_EQ(length, 6u);
    ASSERT_GT(text_bytes, length);
    std::string p = path("infoend.kdf");
    {
        auto img = bytes;
        std::uint32_t last = text_bytes - 1;
        std::memcpy(img.data() + 164 + 20, &last, 4);
        put_bytes(p, img);
        captured_reports r;
        binary_model m(p);
        EXPECT_NE(m.rec, 0u) << r.text();
        EXPECT_EQ(m.info_text, "sim  x");
    }
    {
        auto img = bytes;
        std::memcpy(img.data() + 164 + 20, &text_bytes, 4);
        put_bytes(p, img);
        captured_reports r;
        binary_model m(p);
        EXPECT_EQ(m.rec, 0u);
        EXPECT_NE(r.text().find("Corrupted run information block in file"), std::string::npos)
            << r.text();
    }
}

TEST_F(ModelRunPart, DamagedRunsAreRefusedWithTheFileNamed) {
    model_builder b("damaged");
    build(b);
    run_builder rb(b.symbols());
    rb.times({0, 1}).series("Population", {1, 2}).info("sim  damaged", "");
    auto bytes = rb.bytes();
    ASSERT_FALSE(bytes.empty()) << rb.error();
    std::string p = path("bad.kdf");
    std::size_t live = live_handle_count();
    // Cut inside the information block and inside the model part.
    std::uint32_t part = rb.layout().model_part;
    for (std::size_t cut : {std::size_t{170}, std::size_t{part} + 30, std::size_t{part} + 900}) {
        auto img = bytes;
        img.resize(cut);
        put_bytes(p, img);
        captured_reports r;
        binary_model m(p);
        EXPECT_EQ(m.rec, 0u) << cut;
        EXPECT_NE(r.text().find("bad.kdf"), std::string::npos) << cut << r.text();
    }
    // An information text whose length passes its block.
    {
        auto img = bytes;
        std::uint32_t huge = 4000;
        std::memcpy(img.data() + 164 + 20, &huge, 4);
        put_bytes(p, img);
        captured_reports r;
        binary_model m(p);
        EXPECT_EQ(m.rec, 0u);
        EXPECT_NE(r.text().find("information block"), std::string::npos) << r.text();
    }
    // Single-bit damage in the model part never crashes.
    std::uint32_t seed = 7;
    for (int round = 0; round < 150; ++round) {
        auto img = bytes;
        seed = seed * 1103515245 + 12345;
        std::size_t at = part + (seed >> 8) % (rb.layout().offset_table - part);
        img[at] ^= static_cast<unsigned char>(1u << (seed % 8));
        put_bytes(p, img);
        captured_reports r;
        binary_model m(p);
        if (m.rec) {
            EXPECT_FALSE(describe(m.symbols).empty());
        }
    }
    EXPECT_EQ(live_handle_count(), live);
    // open_model on a damaged run leaves the open model as it was.
    std::string good = path("good.kdf");
    ASSERT_EQ(rb.write(good), 1);
    ASSERT_EQ(open_model(1, -1, good.c_str(), 0), 1);
    handle open_symbols = cur_model_symbols;
    auto img = bytes;
    img.resize(part + 64);
    put_bytes(p, img);
    captured_reports r;
    EXPECT_EQ(open_model(1, -1, p.c_str(), 0), 0);
    EXPECT_EQ(cur_model_symbols, open_symbols);
}

} // namespace
