// The vocabulary tables: every built-in function and node code is described
// once, and the reader, the writer and the code generator agree with what the
// tables say about each entry.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "model/codegen.h"
#include "model/constants.h"
#include "tests/model/text_fixture.h"

namespace {

bool is_stateful_kind(int kind) {
    return kind == fnk_stateful || kind == fnk_random;
}

// A call of f with plain number arguments ("F(c, c)"); the order argument of a
// function with an order-dependent state count is 3.
std::string call_text(const builtin_function& f) {
    std::string text = std::string(f.name) + "(";
    for (int i = 0; i < f.min_args; ++i) {
        if (i) text += ", ";
        text += f.state == fs_integrated && f.states < 0 && i == 3 ? "3" : "c";
    }
    return text + ")";
}

// Functions a plain-number call can exercise (no lookup, text, vector or
// outside-source argument).
bool callable_with_numbers(const builtin_function& f) {
    return f.node == nc_call && f.kind != fnk_lookup && f.text_args == 0;
}

} // namespace

TEST(Vocabulary, EveryFunctionIsFoundByItsSpellingAndItsCodeOnce) {
    init_vocabulary();
    std::set<int> codes;
    for (int i = 0; i < builtin_function_count; ++i) {
        const builtin_function& f = builtin_functions[i];
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(codes.insert(f.code).second) << "code used twice";
        if (i > 0) {
            EXPECT_LT(builtin_functions[i - 1].code, f.code) << "table not in code order";
        }
        EXPECT_EQ(find_builtin(f.name), &f);
        EXPECT_EQ(builtin_by_code(f.code), &f);
        // Spelled as a name may be typed: lower case, words joined by underscores.
        std::string typed = f.name;
        for (char& c : typed) c = c == ' ' ? '_' : static_cast<char>(std::tolower(c));
        EXPECT_EQ(find_builtin(typed.c_str()), &f);
    }
    EXPECT_EQ(builtin_by_code(fn_none), nullptr);
    EXPECT_EQ(find_builtin("NO SUCH FUNCTION"), nullptr);
}

TEST(Vocabulary, FunctionColumnsAgreeWithEachOther) {
    for (int i = 0; i < builtin_function_count; ++i) {
        const builtin_function& f = builtin_functions[i];
        SCOPED_TRACE(f.name);
        EXPECT_LE(f.min_args, f.max_args);
        EXPECT_LE(f.text_args, f.max_args);
        EXPECT_LT(f.init_from, f.max_args);
        EXPECT_TRUE(node_is_call(f.node));
        EXPECT_EQ(f.kind == fnk_vector, f.node == nc_vector_call);
        EXPECT_EQ(keeps_state(f), is_stateful_kind(f.kind));
        EXPECT_EQ(f.state == fs_integrated, f.states != 0);
        if (f.states < 0) {
            EXPECT_EQ(f.max_args, 4) << "the order is the fourth argument";
        }
        if (f.kind == fnk_random) {
            EXPECT_EQ(f.state, fs_held) << "a random stream is held";
        }
        if (f.flags & fnf_output_from_state) {
            EXPECT_TRUE(keeps_state(f));
        }
        if (f.flags & fnf_own_initial) {
            EXPECT_GE(f.init_from, 0);
        }
        // A function that only keeps state for its own output is not held.
        if (f.state == fs_held) {
            EXPECT_FALSE(f.flags & fnf_own_initial);
        }
    }
}

TEST(Vocabulary, EveryNodeCodeHasOneEntryAndOperatorsAreSpelled) {
    std::set<int> codes;
    for (int i = 0; i < node_vocabulary_count; ++i) {
        const node_info& n = node_vocabulary[i];
        SCOPED_TRACE(n.code);
        EXPECT_TRUE(codes.insert(n.code).second) << "code listed twice";
        EXPECT_EQ(find_node_info(n.code), &n);
        bool op = n.flags & (nf_binary | nf_unary);
        EXPECT_EQ(op, n.op != nullptr);
        EXPECT_EQ(op, n.precedence != prec_primary);
        if (op || n.flags & (nf_call | nf_equation_kind)) {
            EXPECT_TRUE(n.flags & nf_children);
        }
        if (n.flags & nf_truth) {
            EXPECT_TRUE(op);
        }
        // A node's operand holds one thing only.
        int uses = (n.flags & nf_children ? 1 : 0) + (n.flags & nf_symbol ? 1 : 0) +
                   (n.flags & nf_text ? 1 : 0);
        EXPECT_LE(uses, 1);
    }
    for (int code = 0; code < 256; ++code)
        if (!codes.count(code)) {
            EXPECT_EQ(find_node_info(code), nullptr) << code;
        }
    EXPECT_EQ(find_node_info(-1), nullptr);
    EXPECT_EQ(find_node_info(nc_lookup_def + 1000), nullptr);
}

class VocabularyText : public TextTest {};

// Every operator and every function the writer spells reads back as the same
// node or function code.
TEST_F(VocabularyText, WhatTheWriterSpellsReadsBackToTheSameCode) {
    model_builder b("spelling");
    b.constant("c", 2);
    std::vector<std::pair<std::string, int>> ops;
    for (int i = 0; i < node_vocabulary_count; ++i) {
        const node_info& n = node_vocabulary[i];
        if (!n.op) continue;
        std::string name = "op" + std::to_string(n.code);
        std::string text =
            n.flags & nf_binary ? std::string("c ") + n.op + " c" : std::string(n.op) + " c";
        b.aux(name.c_str(), text.c_str());
        ops.emplace_back(name, n.code);
    }
    std::vector<std::pair<std::string, int>> calls;
    for (int i = 0; i < builtin_function_count; ++i) {
        const builtin_function& f = builtin_functions[i];
        if (!callable_with_numbers(f)) continue;
        std::string name = "fn" + std::to_string(f.code);
        b.aux(name.c_str(), call_text(f).c_str());
        calls.emplace_back(name, f.code);
    }
    make_current(b);
    ASSERT_EQ(lock_model(1), 1);
    for (const auto& [name, code] : ops) {
        SCOPED_TRACE(name);
        equation_record* e = first_equation(find_symbol(name.c_str()));
        ASSERT_NE(e, nullptr);
        expr_node* body = node_skip(eq_nodes(e));
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(body->code, code);
        begin_report();
        write_equation_rhs(e);
        std::string spelled = node_operator_text(code);
        EXPECT_NE(report_text().find(spelled), std::string::npos) << report_text();
    }
    for (const auto& [name, code] : calls) {
        SCOPED_TRACE(name);
        equation_record* e = first_equation(find_symbol(name.c_str()));
        ASSERT_NE(e, nullptr);
        begin_report();
        write_equation_rhs(e);
        std::string text = report_text();
        std::string written = text.substr(0, text.find('('));
        const builtin_function* f = find_builtin(written.c_str());
        ASSERT_NE(f, nullptr) << text;
        EXPECT_EQ(f->code, code);
    }
    unlock_model(1);
}

// The code generator gives each call the state the table names: integrated
// states (the order's count when it depends on the order), a delay object, or
// a held value (with a random stream for the random functions); no state for
// the others.
TEST_F(VocabularyText, TheCodeGeneratorGivesEveryCallTheStateTheTableNames) {
    auto program_for = [](const char* expr, sim_program& p) {
        model_builder b("state");
        b.constant("c", 2);
        b.aux("x", expr);
        if (!b.finish()) return false;
        return generate_code(b.symbols(), p) == 1;
    };
    sim_program base;
    ASSERT_TRUE(program_for("c", base));
    int stateful = 0;
    for (int i = 0; i < builtin_function_count; ++i) {
        const builtin_function& f = builtin_functions[i];
        if (!callable_with_numbers(f)) continue;
        SCOPED_TRACE(f.name);
        sim_program p;
        ASSERT_TRUE(program_for(call_text(f).c_str(), p)) << messages();
        std::uint32_t integrated = f.state == fs_integrated ? (f.states < 0 ? 3u : f.states) : 0u;
        EXPECT_EQ(p.hidden_states - base.hidden_states, integrated);
        EXPECT_EQ(p.delay_objects - base.delay_objects, f.state == fs_delay_object ? 1u : 0u);
        EXPECT_EQ(p.held_values - base.held_values, f.state == fs_held ? 1u : 0u);
        EXPECT_EQ(p.random_streams - base.random_streams, f.kind == fnk_random ? 1u : 0u);
        if (keeps_state(f)) ++stateful;
    }
    EXPECT_GT(stateful, 10);
}
