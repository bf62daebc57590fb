// The DDE client: conversations with spreadsheet programs and other servers,
// one channel per service and topic, numbered from 0. Commands, pokes and
// requests are posted to the partner; waits for answers run a nested level
// of the main loop with timer 1 on the channel's hidden window, so the
// program stays responsive. The kdde_* functions are exported with C linkage
// for other programs; the spreadsheet links use the same channels (an
// automation link is a channel whose partner is an automation object).
#pragma once

#include "datalinks/tables.h"
#include "platform/automation.h"
#include "platform/win.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

extern "C" {
int kdde_initiate(const char* service, const char* topic);
int kdde_execute(int channel, const char* command);
// 1 when any acknowledgement (positive or not) came within the time-out.
int kdde_wait_execute(int channel, const char* command, int timeout_ms);
int kdde_poke(int channel, const char* item, const char* text);
// results[i]: the answer to items[i] (valid until the next request) or null.
int kdde_vrequest(int channel, const char** items, const char** results, int count, int timeout_ms);
int kdde_request(int channel, const char* item, const char** result, int timeout_ms);
int kdde_terminate(int channel);
}

namespace dde_client {

// How the last kdde_wait_execute ended: 1 positive acknowledgement, 0 a
// negative one, -1 none (time-out or failure). The exported result stays 1
// for any acknowledgement; the links read this to know a refused command.
int last_execute_ack();
// The status word of that acknowledgement (its low byte the server's own
// answer: the viewer's 1 means done); 0 when none came.
WORD last_execute_status();

// A request of one table item: "XlTable" (format 1) or "WK1" (2), or text
// read as numbers when the format is not registered; null on time-out or a
// table that breaks its format.
std::optional<sheets::data_matrix> request_table(int channel, const std::string& item,
                                                 int wanted_format, bool transposed,
                                                 int timeout_ms);

// Channel slots for the automation links: a free slot (reused, else the
// table grows by one) holding the object, path and sheet; -1 when none.
int add_automation_channel(std::shared_ptr<automation::dispatch> worksheet, const std::string& path,
                           const std::string& sheet);
// The channel holding an automation object of that path and sheet, else -1.
int find_automation_channel(const std::string& path, const std::string& sheet);
automation::dispatch* channel_object(int channel);
HWND channel_partner(int channel);
int channel_count(); // slots in the table (tests)
int live_channels(); // slots with a partner or an object

// The initiating answers are not reported while set (a connection attempt
// that expects several).
void set_quiet(bool quiet);

} // namespace dde_client

// Terminates every channel from the highest number down, after the cached
// workbook objects are released; the number of channels closed.
int dde_close_all();
// Quits the spreadsheet programs the links started; only when forced.
void quit_started_spreadsheets(int force);
// Registers "XlTable", "WK1" and "Biff" where still unregistered.
void register_clip_formats();
struct clip_format_ids {
    UINT xltable = 0, wk1 = 0, biff = 0;
};
const clip_format_ids& clip_formats();

// The window procedure of class "Kavrel_ddeclient".
LRESULT ddeclient_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Hooks of the links: releasing their cached workbooks (dde_close_all) and
// the programs they started (1 the Excel service, 2 the 1-2-3 one).
void set_release_links_hook(void (*hook)());
int& started_programs();
