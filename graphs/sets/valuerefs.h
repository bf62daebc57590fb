// Value references in texts: "\Population@END/" in a title, a report line or
// the text of the message built-in stands for the value of Population at the
// end time. Inside the backslash and slash: the variable's name, then parts
// begun by '#' (the variable time is measured along), '&' (a run name, or
// '*n' for the n-th selected run), '@' (SPECIAL, START, END or a number),
// '%' (a number format) and '?' (a choice "value=text", one per '?').
// "\\" stands for one backslash.
#pragma once

#include <string>
#include <vector>

// The text with every reference replaced. var_texts (a report's VAR texts):
// a reference with an empty specification takes the next one; *taken counts
// the empty references met. lock: the model is locked around the work.
std::string expand_value_refs(const char* text, int* taken = nullptr,
                              const std::vector<std::string>* var_texts = nullptr, int lock = 0);

// The engine's message built-in hook: the text itself when it holds no
// backslash, else the expansion in scratch memory.
const char* expand_message_refs(const char* text);

// What a loaded run lacking a variable means, for the messages of reports
// and custom graphs: when the open model has the variable, the run is of
// another model (or of an older version of this one); else there is no such
// variable. Names the variable and the run.
std::string missing_in_run_text(const char* name, int run);

// Whether loaded run i holds the variable of an element name (its own
// element, or the variable when the element part is a range or wildcard).
bool run_holds_variable(const char* name, int run);

// The first selected run that holds the variable (a run of another model
// loaded first is passed over, as the Graph tool passes it over); the
// first selected run when none does; -1 when no run is selected.
int first_run_holding(const char* name);

// Installs expand_message_refs as the engine's hook.
void install_value_ref_hook();
