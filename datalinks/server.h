// The DDE server: the service "Kavrel" lets another program ask the viewer to
// open a model with [FileOpen("<path>")]. Each conversation has a hidden
// "Kavrel_ddeserver" child of the workbench; the only command carried out is
// FileOpen, which takes the Open Model road with its usual questions. Every
// other request is acknowledged by the rules of DDE and changes nothing.
// Other local programs reach the service through the platform's socket
// bridge, which listens while the workbench exists.
#pragma once

#include "platform/win.h"

#include <cstddef>
#include <string>
#include <vector>

// Answers WM_DDE_INITIATE sent to the workbench: application "Kavrel" (any
// case), any topic; a zero application atom gets no answer.
void dde_server_initiate(HWND client, LPARAM lparam);
// The window procedure of "Kavrel_ddeserver".
LRESULT ddeserver_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Points the shell's hooks at the server (the class procedure, the
// workbench's initiate, the bridge's start and stop).
void install_dde_server();

// ---- what the tests look at ----------------------------------------------------
std::size_t dde_server_conversations();
bool dde_server_is_busy();

// The execute grammar: the commands of a command string in order. A command
// starts at "[" and runs to its matching "]"; text after it is skipped to the
// next "["; text that does not start with "[" is one last command; an
// unclosed "[" takes the rest.
std::vector<std::string> dde_split_commands(const std::string& text);
// The file name of a FileOpen command (exact case, with "("): after the "("
// and one optional double quote, up to the first double quote or ")". False
// for any other command.
bool dde_fileopen_name(const std::string& command, std::string* name);
