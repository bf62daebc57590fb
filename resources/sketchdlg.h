// Templates of the sketch's dialogs: the quick slider's options.
#pragma once

enum : int {
    dlg_slider_options = 376,
};

// Control ids of the slider options.
enum : int {
    idq_increment = 1466,  // edit: the step (empty: continuous)
    idq_max = 1467,        // edit: the right end
    idq_min = 1468,        // edit: the left end
    idq_permanent = 1469,  // check box: write the settings into the model
    idq_subscripts = 1470, // list box: the elements of a subscripted constant
    idq_subscript_label = 1471,
    idq_title = 1472,   // static: "Slider control options for: " and the name
    idq_value = 1473,   // edit: the value
    idq_changes = 1735, // button: the Constant Changes dialog
};

void register_sketch_dialog_templates();
