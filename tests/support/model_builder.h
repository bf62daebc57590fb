// Builds models in code for tests, samples, benchmarks and fuzz seeds, and
// writes them with the model store's own writer.
//
// Equations are given in a small expression syntax understood only here:
// numbers, names (blanks allowed inside), + - * / ^, comparisons (= <> < <=
// > >=), :AND: :OR: :NOT:, parentheses, calls of the built-in functions,
// lookups called like functions, subscripts in square brackets (a trailing
// "!" marks the subscript a vector function reduces) and "quoted" texts.
// Names may refer to variables declared later; subscript ranges must be
// declared before the variables that use them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/model.h"
#include "model/modelfile.h"

class model_builder {
public:
    explicit model_builder(const char* name = "model");
    ~model_builder(); // frees the model unless release() took it
    model_builder(const model_builder&) = delete;
    model_builder& operator=(const model_builder&) = delete;

    // Control variables (defaults 0, 100, 1, 1). One declared by the model
    // (aux("FINAL TIME", "horizon * 2")) keeps that equation instead.
    model_builder& control(float initial, float final_time, float step, float saveper);

    // Declarations; lhs may carry subscripts ("Stock[region]", "x[north]").
    // Each returns the symbol; a second declaration of a subscripted name adds
    // an equation for other elements.
    symbol_id constant(const char* lhs, float value, const char* units = nullptr);
    symbol_id constant_list(const char* lhs, const std::vector<float>& values,
                            const char* units = nullptr);
    symbol_id aux(const char* lhs, const char* expr, const char* units = nullptr);
    symbol_id level(const char* lhs, const char* rate, const char* initial,
                    const char* units = nullptr);
    symbol_id initial(const char* lhs, const char* expr, const char* units = nullptr);
    // A behaviour-test constraint (true at every step when it holds) and a
    // game input (its equation gives the start value; the player changes it).
    symbol_id constraint(const char* lhs, const char* expr);
    symbol_id game_input(const char* lhs, const char* expr, const char* units = nullptr);
    symbol_id data(const char* lhs, const char* expr = nullptr, const char* units = nullptr);
    // range: a declared range with any reference points, typed before the
    // points ("[(0,0)-(4,3),(0,1),(4,2)]"), kept in the equation as typed.
    // An arrayed lookup is one call an element, its name subscripted by
    // elements ("Curve[south]"), the variable's first element first.
    symbol_id lookup(const char* name, const std::vector<std::pair<float, float>>& points,
                     const char* units = nullptr, const char* range = nullptr);
    symbol_id string_var(const char* name, const char* text);
    symbol_id function_of(const char* name, const std::vector<const char*>& causes);
    symbol_id time_base(const char* name, const char* expr, float scale, float offset);
    // A subscript range with its elements (made as needed), or a sub-range of
    // elements of another range.
    symbol_id range(const char* name, const std::vector<const char*>& elements);
    symbol_id group(const char* name); // "." is put in front when missing

    // Properties of a declared symbol.
    model_builder& in_group(symbol_id var, symbol_id group);
    model_builder& comment(symbol_id var, const char* text);
    model_builder& limits(symbol_id var, float min, float max, float increment);
    model_builder& pair(symbol_id var, symbol_id other, const char* text);
    model_builder& flags(symbol_id var, std::uint16_t flags);

    // Model settings.
    model_builder& settings_text(const char* text);
    model_builder& password(const char* text);
    int add_view(const char* name);
    int add_element(int view, const std::vector<std::uint8_t>& record);

    // Finishes the model (equations, slots, indexes); idempotent. False when an
    // equation did not parse (errors() says why).
    bool finish();
    const std::vector<std::string>& errors() const { return errors_; }
    handle symbols() const { return model_.symbols; }
    handle header() const { return model_.header; }
    symbol_id id(const char* name) const;
    // Writes the model file (finishing first). 1 on success.
    int write(const char* path, bool foreign = false);
    // Hands the model over to the caller (who frees it).
    model_pair release();

private:
    struct pending {
        pending(symbol_id s, int k, std::string l, std::vector<std::string> b)
            : sym(s), kind(k), lhs(std::move(l)), body(std::move(b)) {}
        symbol_id sym;
        int kind;
        std::string lhs;
        std::vector<std::string> body;
        int lookup = -1;
        std::vector<float> numbers;
        std::string text;
        std::vector<std::string> causes;
    };
    symbol_id declare(const char* lhs, int type, const char* units);
    void add_units_text(symbol_id s, const char* units);
    bool build(const pending& p, int order);

    model_pair model_;
    std::vector<pending> pending_;
    std::vector<std::string> errors_;
    float control_[4] = {0, 100, 1, 1};
    symbol_id control_ids_[4] = {};
    symbol_id control_group_ = 0;
    bool finished_ = false;
};

// The large test model's equations: a range "cells" of 100 elements ("cell 0"
// to "cell 99") and 100 stocks over it ("stock 0[cells]" on), each flowing
// toward the next at the constant "rate" (10,000 elements in 200 equations).
// The caller names the model and sets its control variables.
void add_stock_ring(model_builder& b);
