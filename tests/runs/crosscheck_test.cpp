// Runs the engine wrote, damaged one part at a time, are refused with a
// "Corrupted kdf file" message naming what disagrees, in both layouts; the
// runs as written load whole.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "model/modelfile.h"
#include "runs_fixture.h"
#include "sim/run.h"

namespace {

class crosscheck_test : public runs_test {
protected:
    void SetUp() override {
        runs_test::SetUp();
        model_dir = dir_;
        model_builder b("cross");
        b.control(0, 13, 1, 1);
        b.range("region", {"north", "south"});
        b.constant("rate", 0.2f);
        b.constant("start[region]", 4);
        b.level("Stock", "inflow", "10");
        b.level("Pop[region]", "rate * Pop[region]", "start[region]");
        b.aux("inflow", "rate * Stock");
        b.aux("late", "DELAY FIXED(Stock, 2, 1)");
        b.lookup("Effect", {{0, 0}, {1, 2}, {4, 3}});
        b.aux("shaped", "Effect(Time)");
        b.aux("steady", "7");
        b.string_var("Label", "cross");
        ASSERT_TRUE(b.finish());
        model_pair m = b.release();
        read_model_settings(m.header, m.symbols);
        close_model(m.header, m.symbols, dir_.c_str(), path("cross.kmf").c_str());
        ASSERT_NE(cur_model_symbols, 0u);
    }
    void TearDown() override {
        close_model(0, 0);
        model_dir.clear();
        runs_test::TearDown();
    }
    // A run of the open model as the engine writes it.
    std::vector<std::uint8_t> engine_run(char type, bool in_table = true) {
        std::string p = path(std::string("engine_") + type + ".kdf");
        sim_options o;
        o.run_file = p.c_str();
        o.run_type = type;
        o.constants_in_table = in_table;
        o.info = "sim  cross";
        EXPECT_EQ(simulate_model(cur_model_symbols, o, nullptr), sim_done);
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    // Opens bytes; the message of the refusal ("" when the run loaded).
    std::string refusal(const std::vector<std::uint8_t>& b) {
        std::string p = write_bytes("damaged.kdf", b);
        captured().clear();
        int r = kdf_open(p.c_str());
        if (r >= 0) {
            unload_run(r);
            return {};
        }
        std::string all;
        for (auto& m : captured()) all += m.text + "\n";
        return all.empty() ? "(no message)" : all;
    }
    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    }
    static std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
};

// Where a name of the model part lies in the file (its first byte).
std::size_t name_at(const std::vector<std::uint8_t>& b, const std::string& name) {
    std::string needle = name + '\0';
    auto it = std::search(b.begin(), b.end(), needle.begin(), needle.end());
    return it == b.end() ? 0 : static_cast<std::size_t>(it - b.begin());
}

// Variants of a run whose offset table lost the entry of its first or last
// value record (in file order): the entry zeroed, the table's tail zeroed
// from it on, or the entry moved by a few bytes either way or to the end of
// the file. Each names the damage; the bytes are the written run's.
struct lost_entry_variant {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

std::vector<lost_entry_variant> lost_entry_variants(const std::vector<std::uint8_t>& good,
                                                    std::uint32_t slots,
                                                    const std::string& prefix) {
    auto get = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, good.data() + at, 4);
        return v;
    };
    const std::uint32_t table = get(100);
    // Entries that point at value records: those at or past the table's end.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> records; // offset, slot
    for (std::uint32_t s = 0; s < slots; ++s) {
        std::uint32_t off = get(table + 4u * s);
        if (off >= table + 4u * slots && off < good.size()) records.emplace_back(off, s);
    }
    std::sort(records.begin(), records.end());
    std::vector<lost_entry_variant> out;
    if (records.size() < 3) return out;
    auto put = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    };
    // Time's record comes first; the first record after it is the first
    // series a reader could lose without missing Time.
    struct which {
        const char* name;
        std::size_t k;
    };
    for (which w : {which{"time", 0}, which{"first", 1}, which{"last", records.size() - 1}}) {
        const std::uint32_t off = records[w.k].first, slot = records[w.k].second;
        const std::size_t cell = table + 4u * slot;
        const std::string base = prefix + "_" + w.name;
        auto b = good;
        put(b, cell, 0);
        out.push_back({base + "_zeroed", b});
        b = good;
        for (std::uint32_t s = slot; s < slots; ++s) put(b, table + 4u * s, 0);
        out.push_back({base + "_tail_cut", b});
        for (int d : {-4, -2, -1, 1, 2, 3, 4, 6, 8}) {
            b = good;
            put(b, cell, static_cast<std::uint32_t>(static_cast<std::int64_t>(off) + d));
            out.push_back({base + "_moved" + std::to_string(d), b});
        }
        // Onto where the next record or the next part begins, and the end.
        b = good;
        put(b, cell,
            w.k + 1 < records.size() ? records[w.k + 1].first
                                     : static_cast<std::uint32_t>(good.size()) - 4);
        out.push_back({base + "_moved_on", b});
        b = good;
        put(b, cell, static_cast<std::uint32_t>(good.size()));
        out.push_back({base + "_moved_to_end", b});
    }
    return out;
}

TEST_F(crosscheck_test, runs_the_engine_writes_load_whole) {
    for (char type : {'R', 'r'})
        for (bool in_table : {true, false}) {
            std::vector<std::uint8_t> b = engine_run(type, in_table);
            ASSERT_FALSE(b.empty());
            EXPECT_EQ(refusal(b), "") << type << in_table;
        }
}

// Each run cut at every length is refused, and the message says what the
// cut took away, whether it falls in the header, the information block, the
// model part or behind it.
TEST_F(crosscheck_test, every_cut_says_what_is_cut) {
    for (char type : {'R', 'r'}) {
        std::vector<std::uint8_t> good = engine_run(type);
        // A stride of 3 meets every byte position within a cell.
        for (std::size_t cut = 0; cut < good.size(); cut += 3) {
            std::vector<std::uint8_t> b(good.begin(), good.begin() + static_cast<long>(cut));
            std::string m = refusal(b);
            ASSERT_NE(m, "") << type << " cut to " << cut;
            ASSERT_NE(m.find("Corrupted kdf file"), std::string::npos) << m;
            ASSERT_TRUE(m.find("cut off at the end of the file") != std::string::npos ||
                        (cut == 0 && m.find("the file is empty") != std::string::npos))
                << type << " cut to " << cut << ": " << m;
            ASSERT_EQ(m.find('\n'), m.size() - 1) << "one message: " << m;
        }
    }
    std::vector<std::uint8_t> good = engine_run('R');
    std::vector<std::uint8_t> b(good.begin(), good.begin() + 100);
    EXPECT_NE(
        refusal(b).find("the header is cut off at the end of the file, after 100 of its 164 bytes"),
        std::string::npos);
    const std::uint32_t model_at = get32(good, 4 * 21);
    ASSERT_EQ(get32(good, 4 * 38), 1u) << "an information block";
    ASSERT_GT(model_at, 172u);
    b.assign(good.begin(), good.begin() + model_at - 8); // inside the information block
    EXPECT_NE(refusal(b).find("the run information block is cut off"), std::string::npos);
    std::size_t names = name_at(good, "inflow");
    ASSERT_GT(names, 0u);
    b.assign(good.begin(), good.begin() + static_cast<long>(names));
    EXPECT_NE(refusal(b).find("the model part's name pool is cut off"), std::string::npos);
}

// The damage the row layout showed without a word: the saved times set to 0
// (7 of 14 series, 7 of 70 points were shown), and the same in the other
// layout; and the other header counts that must agree.
TEST_F(crosscheck_test, header_counts_that_disagree_are_refused_in_both_layouts) {
    for (char type : {'R', 'r'}) {
        const std::vector<std::uint8_t> good = engine_run(type);
        const std::uint32_t times = get32(good, 120);
        ASSERT_EQ(times, 14u);
        struct damage {
            int word;
            std::uint32_t value;
            const char* says;
        };
        for (const damage& d :
             {damage{30, 0, "time points (14) disagree with its saved times (0)"},
              damage{30, 13, "saved times (13)"}, damage{31, 15, "time points (15)"},
              damage{28, 20, "longest series (20)"}, damage{29, 14, "data"}}) {
            auto b = good;
            put32(b, 4u * static_cast<std::uint32_t>(d.word), d.value);
            std::string m = refusal(b);
            EXPECT_NE(m.find("Corrupted kdf file"), std::string::npos)
                << type << " word " << d.word << ": " << m;
            // The offset-table layout finds most of these at Time's record
            // already; the rows have nothing else to tell them by.
            if (type == 'r') {
                EXPECT_NE(m.find(d.says), std::string::npos) << "word " << d.word << ": " << m;
            }
        }
    }
}

// A name of the model part damaged: the identity stamp in the origin text
// no longer matches; without a stamp, a name lost or doubled is refused still.
TEST_F(crosscheck_test, a_damaged_model_part_is_refused) {
    for (char type : {'R', 'r'}) {
        const std::vector<std::uint8_t> good = engine_run(type);
        std::size_t at = name_at(good, "shaped");
        ASSERT_GT(at, 0u);
        auto b = good;
        std::memset(b.data() + at + 2, 0, 4); // "sh": a valid name, found by no one
        EXPECT_NE(refusal(b).find("the model part differs from the one the run was written with"),
                  std::string::npos)
            << type;

        auto unstamped = good;
        std::memset(unstamped.data() + 4, 0, 76);
        std::memcpy(unstamped.data() + 4, "cross", 5);
        EXPECT_EQ(refusal(unstamped), "") << type;
        b = unstamped;
        std::memset(b.data() + at, 0, 4); // no name at all
        EXPECT_NE(refusal(b).find("has no name"), std::string::npos) << type;
        b = unstamped;
        std::memcpy(b.data() + at, "steady", 6); // two variables named alike
        EXPECT_NE(refusal(b).find("two variables of the model part are named steady"),
                  std::string::npos)
            << type;
    }
}

// Element names count as names of the model part: two elements named alike
// are refused as two variables would be.
TEST_F(crosscheck_test, a_doubled_element_name_is_refused) {
    for (char type : {'R', 'r'}) {
        const std::vector<std::uint8_t> good = engine_run(type);
        auto b = good;
        std::memset(b.data() + 4, 0, 76); // no identity stamp: the names are checked
        std::memcpy(b.data() + 4, "cross", 5);
        const std::size_t at = name_at(b, "south");
        ASSERT_GT(at, 0u);
        std::memcpy(b.data() + at, "north", 5);
        EXPECT_NE(refusal(b).find("two variables of the model part are named north"),
                  std::string::npos)
            << type;
    }
}

// An array run has neither saved times nor data points: a header that gives
// either is refused.
TEST_F(crosscheck_test, an_array_run_with_saved_times_or_data_points_is_refused) {
    run_builder rb(cur_model_symbols, 'A');
    rb.times({0, 1, 2}).series("Stock", {1, 2, 3}).array_points(3);
    const std::vector<std::uint8_t> good = rb.bytes();
    ASSERT_FALSE(good.empty()) << rb.error();
    EXPECT_EQ(refusal(good), "");
    for (int word : {29, 30}) {
        auto b = good;
        put32(b, 4u * static_cast<std::uint32_t>(word), 2);
        EXPECT_NE(refusal(b).find("the header of an array run gives saved times or data points"),
                  std::string::npos)
            << "word " << word << ": " << refusal(b);
    }
}

// Damage inside the tables and records of the offset-table layout.
TEST_F(crosscheck_test, records_that_disagree_are_refused) {
    const std::vector<std::uint8_t> good = engine_run('R');
    const std::uint32_t table = get32(good, 100);
    int stock = run_builder::slot_of(cur_model_symbols, "Stock");
    int inflow = run_builder::slot_of(cur_model_symbols, "inflow");
    ASSERT_GT(stock, 0);
    ASSERT_GT(inflow, stock);
    const std::uint32_t stock_at = get32(good, table + 4u * static_cast<std::uint32_t>(stock));
    const std::uint32_t inflow_at = get32(good, table + 4u * static_cast<std::uint32_t>(inflow));

    auto b = good;
    // Stock's entry pointing at inflow's record: two slots read one record.
    put32(b, table + 4u * static_cast<std::uint32_t>(stock), inflow_at);
    EXPECT_NE(refusal(b).find("overlap those of"), std::string::npos);

    b = good;
    put32(b, table + 4u * static_cast<std::uint32_t>(stock), stock_at + 2);
    EXPECT_NE(refusal(b).find("Corrupted kdf file"), std::string::npos);

    b = good;
    b[stock_at] ^= 1; // the count
    EXPECT_NE(refusal(b).find("the value count of Stock disagrees"), std::string::npos);

    b = good;
    b[stock_at + 2] ^= 4; // a presence bit
    EXPECT_NE(refusal(b).find("the value count of Stock disagrees"), std::string::npos);

    b = good;
    std::uint32_t time_at = get32(good, table);
    b[time_at + 2] &= 0xFE; // Time's first point missing
    b[time_at] = static_cast<std::uint8_t>(b[time_at] - 1);
    EXPECT_NE(refusal(b).find("Time"), std::string::npos);

    // A part pointing into another part.
    b = good;
    put32(b, 4 * 27, stock_at); // the delay states inside Stock's values
    EXPECT_NE(refusal(b).find("overlap"), std::string::npos);
}

// A series whose offset-table entry is zeroed (read as "not saved") or moved
// past its record leaves a record no variable refers to: refused, not loaded
// with the variable missing.
TEST_F(crosscheck_test, a_series_that_lost_its_entry_is_refused) {
    const std::vector<std::uint8_t> good = engine_run('R');
    const std::uint32_t table = get32(good, 100);
    const int stock = run_builder::slot_of(cur_model_symbols, "Stock");
    ASSERT_GT(stock, 0);
    auto b = good;
    put32(b, table + 4u * static_cast<std::uint32_t>(stock), 0);
    EXPECT_NE(refusal(b).find("belongs to no variable"), std::string::npos) << refusal(b);
    // The run as written loads.
    EXPECT_EQ(refusal(good), "");
}

// Every variant of a run whose first or last value record lost its entry is
// refused with a message, never loaded with a series quietly missing. With
// KAVREL_DUMP_SEEDS set to a folder, the variants are written there as seeds
// of the run-file fuzz target.
TEST_F(crosscheck_test, a_first_or_last_series_that_lost_its_entry_is_refused) {
    const std::uint32_t slots = get_header_word(cur_model_symbols, mh_level_slots) +
                                get_header_word(cur_model_symbols, mh_other_slots);
    const char* dump = std::getenv("KAVREL_DUMP_SEEDS");
    std::size_t tried = 0;
    for (char type : {'R', 'P'})
        for (bool in_table : {true, false}) {
            const std::vector<std::uint8_t> good = engine_run(type, in_table);
            ASSERT_EQ(refusal(good), "") << type << in_table;
            const std::string prefix =
                std::string("lost_entry_") + type + (in_table ? "_table" : "_section");
            for (const lost_entry_variant& v : lost_entry_variants(good, slots, prefix)) {
                ++tried;
                std::string m = refusal(v.bytes);
                EXPECT_NE(m.find("Corrupted kdf file"), std::string::npos) << v.name << ": " << m;
                const bool lost = v.name.find("_zeroed") != std::string::npos ||
                                  v.name.find("_tail_cut") != std::string::npos;
                // A series lost whole is said to be so (Time's own loss is
                // said as Time's).
                if (lost && v.name.find("_time_") == std::string::npos) {
                    EXPECT_NE(m.find("belongs to no variable"), std::string::npos)
                        << v.name << ": " << m;
                }
                if (v.name.find("_last_zeroed") != std::string::npos) {
                    EXPECT_NE(m.find("a series after the values of"), std::string::npos)
                        << v.name << ": " << m;
                }
                // Seeds: every variant of one run, the lost series of the others.
                if (dump && (lost || prefix == "lost_entry_R_table")) {
                    std::ofstream f(std::string(dump) + "/" + v.name + ".kdf", std::ios::binary);
                    f.write(reinterpret_cast<const char*>(v.bytes.data()),
                            static_cast<std::streamsize>(v.bytes.size()));
                }
            }
        }
    EXPECT_GE(tried, 4u * 3u * 13u);
}

// Every series of every upper-case run type, its entry zeroed, the table cut
// from it on, or the entry moved up to nine bytes either way (into the
// bytes of its own record or the one before, where a count and presence
// bits of zeros read as a series of no points): refused with a message,
// never loaded a series fewer.
TEST_F(crosscheck_test, every_series_whose_entry_was_damaged_is_refused) {
    const std::uint32_t slots = get_header_word(cur_model_symbols, mh_level_slots) +
                                get_header_word(cur_model_symbols, mh_other_slots);
    std::size_t tried = 0;
    for (char type : {'R', 'P', 'S'})
        for (bool in_table : {true, false}) {
            const std::vector<std::uint8_t> good = engine_run(type, in_table);
            ASSERT_EQ(refusal(good), "") << type << in_table;
            const std::uint32_t table = get32(good, 100);
            for (std::uint32_t slot = 0; slot < slots; ++slot) {
                const std::uint32_t off = get32(good, table + 4u * slot);
                // Entries that point at value records, not constants' values.
                if (off < table + 4u * slots || off >= good.size()) continue;
                std::vector<std::pair<std::string, std::vector<std::uint8_t>>> variants;
                auto b = good;
                put32(b, table + 4u * slot, 0);
                variants.emplace_back("zeroed", b);
                b = good;
                for (std::uint32_t s = slot; s < slots; ++s) put32(b, table + 4u * s, 0);
                variants.emplace_back("table cut", b);
                for (int d = -9; d <= 9; ++d) {
                    if (!d) continue;
                    b = good;
                    put32(b, table + 4u * slot, static_cast<std::uint32_t>(off + d));
                    variants.emplace_back("moved " + std::to_string(d), b);
                }
                for (const auto& [what, bytes] : variants) {
                    ++tried;
                    const std::string m = refusal(bytes);
                    EXPECT_NE(m.find("Corrupted kdf file"), std::string::npos)
                        << type << in_table << " slot " << slot << " " << what << ": " << m;
                }
            }
        }
    EXPECT_GE(tried, 6u * 8u * 20u);
}

// A series entry moved into its own record, onto a count and presence bits
// of zeros, says what is wrong and names the variable.
TEST_F(crosscheck_test, a_series_entry_moved_into_its_record_is_named) {
    const std::vector<std::uint8_t> good = engine_run('R');
    const std::uint32_t table = get32(good, 100);
    const int shaped = run_builder::slot_of(cur_model_symbols, "shaped");
    ASSERT_GT(shaped, 0);
    const std::size_t cell = table + 4u * static_cast<std::uint32_t>(shaped);
    const std::uint32_t at = get32(good, cell);
    // Its first values are 0 and 0 (a lookup of Time from 0): zero bytes
    // behind its count and presence bits.
    bool silent_before = false;
    for (int d = 3; d <= 7; ++d) {
        auto b = good;
        put32(b, cell, at + static_cast<std::uint32_t>(d));
        const std::string m = refusal(b);
        silent_before |=
            m.find("bytes before the values of shaped belong to no variable") != std::string::npos;
        EXPECT_NE(m.find("Corrupted kdf file"), std::string::npos) << d << ": " << m;
    }
    EXPECT_TRUE(silent_before);
}

// Damage to the row table and the rows of the row layout.
TEST_F(crosscheck_test, row_tables_that_disagree_are_refused) {
    const std::vector<std::uint8_t> good = engine_run('r');
    const std::uint32_t head = get32(good, 100);
    const std::uint32_t columns = get32(good, head + 4);
    int stock = run_builder::slot_of(cur_model_symbols, "Stock");
    int inflow = run_builder::slot_of(cur_model_symbols, "inflow");
    ASSERT_EQ(good[head + 18], 1) << "a direct table";
    const std::size_t stock_cell = head + 20 + 4u * static_cast<std::uint32_t>(stock);
    const std::size_t inflow_cell = head + 20 + 4u * static_cast<std::uint32_t>(inflow);
    ASSERT_NE(get32(good, stock_cell), 0u);

    auto b = good;
    put32(b, stock_cell, get32(good, inflow_cell));
    EXPECT_NE(refusal(b).find("belongs to two variables"), std::string::npos);

    b = good;
    put32(b, stock_cell, 0); // a saved series lost from the table
    EXPECT_NE(refusal(b).find("columns in rows of"), std::string::npos);

    b = good;
    put32(b, head + 4, columns - 1); // shorter rows
    EXPECT_NE(refusal(b).find("Corrupted kdf file"), std::string::npos);

    b = good;
    put32(b, 4 * 22, head); // the constants section over the row table
    EXPECT_NE(refusal(b).find("overlap"), std::string::npos);
}

} // namespace
