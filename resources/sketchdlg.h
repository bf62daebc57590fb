// Templates of the sketch's dialogs: the quick slider's options and the
// input options of a variable in Livesweep.
#pragma once

enum : int {
    dlg_slider_options = 376,
    dlg_input_options = 377,
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

// Control ids of the input options. The shape buttons carry the shape codes
// of the overrides (sketch/overrides.h): 632, 637, 644 to 650.
enum : int {
    idi_p1 = 633, // edits: the four numbers
    idi_p2 = 634,
    idi_p3 = 635,
    idi_p4 = 636,
    idi_label1 = 638, // statics: their labels
    idi_label2 = 639,
    idi_label3 = 640,
    idi_label4 = 641,
    idi_freeze = 642,   // check box: freeze levels at their initial values
    idi_override = 643, // check box: override normal behavior
    idi_title = 651,    // static: "Input Options for: " and the name
};

void register_sketch_dialog_templates();
