// The model password prompt: the model reader asks through the password hook
// (installed by install_program_hooks) when a model is protected; the prompt
// is a dialog with a password edit and the model's name in its caption.
// shell_open_model gives the user password_tries tries: each wrong one opens
// the model again and asks again, saying the last one was not correct.
#pragma once

#include <cstddef>

inline constexpr int password_tries = 3;

// The hook (model/modelfile.h's password_hook_fn): 1 with the typed text in
// out, 0 when the user cancelled.
int ask_model_password_dialog(const char* model_name, char* out, std::size_t size);

// What became of the prompt since the last begin_password_try.
enum class password_answer { not_asked, given, cancelled };
// Starts try `number` (from 1) of password_tries: from the second on, the
// prompt says the previous password was not correct.
void begin_password_try(int number);
password_answer last_password_answer();
