// The Datasets page of the Control Panel (template 281): the run files
// available beside the model and the runs loaded for it, side by side.
#pragma once

#include "platform/dlg.h"

enum : int {
    idd_available_info = 1068, // "Available - Info.."
    idd_available = 1067,      // list: run files not loaded for the model
    idd_loaded_info = 1078,    // "Loaded - Info.."
    idd_loaded = 1076,         // list: the model's loaded runs, the active ones selected
    idd_load = 1077,           // ">>"
    idd_unload = 1069,         // "<<"
    idd_load_from = 1079,      // "Load From..."
    idd_delete = 1074,         // "Delete"
    idd_end = 1070,            // ends the dialog when a template has it
};

// The page's template under the Control Panel's page id (a child page
// without title; laid out again at every size).
DialogTemplate datasets_page_template(int id);
