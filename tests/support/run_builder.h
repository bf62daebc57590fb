// Builds run files (.kdf) in code for tests, benchmarks and fuzz seeds, in
// every layout the run reader reads: the run types 'R', 'r', 'S', 's', 'P',
// 'p' and 'A', an information block, constants kept in the offset table or in
// the constants section, a data time axis, presence bits with gaps, 16- or
// 32-bit value counts, the other byte order, sensitivity sections, payoff type
// bytes, strings, lookups and delay states.
//
// The layout is written here from the run-file description
// (docs/formats/run-file.md), independently of the engine's writer and of the
// reader, so that the reader's tests do not depend on either.
//
// Values are given by element name ("Stock", "Stock[north]") or by value slot
// of the model part. A series gives one value per saved time (per point of the
// data time axis for a data variable, per array point for an 'A' run); NA
// marks a missing value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/types.h"
#include "model/model.h"

// One simulation set of a sensitivity run: the slots of the single-value and
// series variables and the matrix (one row per simulation: the K single values,
// then T values per series variable).
struct sens_spec {
    std::uint32_t rows = 0;
    std::uint32_t times = 0;          // T
    std::vector<std::string> singles; // element names (K)
    std::vector<std::string> series;  // element names (S)
    std::vector<float> matrix;        // rows x (K + S T)
};

// Where the last bytes() put things (file offsets), for tests that damage a
// file on purpose.
struct run_layout {
    std::uint32_t model_part = 0;
    std::uint32_t offset_table = 0; // or the row head of a lower-case run
    std::uint32_t time_record = 0;
    std::uint32_t data_axis_record = 0;
    std::uint32_t first_row = 0;
    std::uint32_t row_length = 0;
    std::uint32_t constants = 0;
    std::uint32_t lookups = 0;
    std::uint32_t strings = 0;
    std::uint32_t section = 0;
    std::uint32_t delays = 0;
    std::uint32_t file_size = 0;
    std::map<int, std::uint32_t> records; // value slot -> file offset of its record
    std::map<int, std::uint32_t> columns; // value slot -> column (lower-case runs)
};

class run_builder {
public:
    // symbols: a finished model (its model part is written into the run); not
    // owned, must outlive the builder and not be locked while writing.
    explicit run_builder(handle symbols, char type = 'R');

    run_builder& type(char t);
    run_builder& origin(const std::string& text);
    run_builder& version(std::uint16_t v);
    // Saved times (Time's record; word 30).
    run_builder& times(std::vector<float> t);
    // The data time axis (word 29).
    run_builder& data_times(std::vector<float> t);
    // Points of every record of an 'A' run (word 31); defaults to the longest
    // series given.
    run_builder& array_points(int n);

    run_builder& series(const std::string& element, std::vector<float> values);
    run_builder& series_slot(int slot, std::vector<float> values);
    run_builder& constant(const std::string& element, float value);
    run_builder& constant_slot(int slot, float value);
    run_builder& string_value(const std::string& element, const std::string& text);
    // Replaces the points of a lookup element in the run (default: the model's).
    run_builder& lookup_points(const std::string& element, std::vector<float> x,
                               std::vector<float> y);

    // Layout options.
    run_builder& counts32(bool on);           // byte 161
    run_builder& constants_in_table(bool on); // byte 160 == 0
    run_builder& foreign(bool on);            // the other byte order
    run_builder& direct_table(bool on);       // lower-case: direct column table
    run_builder& every_point(bool on);        // a presence bit for every point
    run_builder& info(const std::string& command_line, const std::string& comment);
    run_builder& payoff(float value);
    run_builder& payoff_types(std::vector<std::uint8_t> types); // one byte per value slot
    run_builder& sensitivity(sens_spec spec);
    // Saved delay objects (one entry per delay object of the model; an empty
    // entry writes capacity 0). Each object is 28 + 8 n bytes with its
    // capacity n as u16 at bytes 24-25 (set here).
    run_builder& delays(std::vector<std::vector<std::uint8_t>> objects);

    // The whole file. Empty (with error() set) when a name does not resolve.
    std::vector<std::uint8_t> bytes();
    // Writes the file; 1 on success.
    int write(const std::string& path);
    const run_layout& layout() const { return layout_; }
    const std::string& error() const { return error_; }

    // The value slot and slot type byte of an element of a model; -1 when the
    // name does not resolve.
    static int slot_of(handle symbols, const std::string& element, int* type_byte = nullptr);

private:
    struct lookup_override {
        std::vector<float> x, y;
    };
    int resolve(const std::string& element);

    handle symbols_;
    char type_;
    std::string origin_ = "test run";
    std::uint16_t version_ = 400;
    std::vector<float> times_;
    std::vector<float> data_times_;
    int array_points_ = -1;
    std::map<int, std::vector<float>> series_;
    std::map<int, float> constants_;
    std::map<int, std::string> strings_;
    std::map<int, lookup_override> lookups_;
    bool counts32_ = false;
    bool in_table_ = true;
    bool foreign_ = false;
    bool direct_ = true;
    bool every_point_ = false;
    bool has_info_ = false;
    std::string info_cmd_, info_comment_;
    float payoff_ = 0;
    std::vector<std::uint8_t> payoff_types_;
    bool has_sens_ = false;
    sens_spec sens_;
    bool has_delays_ = false;
    std::vector<std::vector<std::uint8_t>> delays_;
    run_layout layout_;
    std::string error_;
};
