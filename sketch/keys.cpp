// Which command or simulation action a key posts from a sketch view.
#include "sketch/keys.h"

#include "platform/messages.h"

int sketch_key_command(int vk, bool ctrl, bool shift, bool level_limit) {
    if (vk == VK_ESCAPE) return skc_escape;
    if (vk == VK_NEXT) return sketch_cmd_next_view;
    if (vk == VK_PRIOR) return sketch_cmd_previous_view;
    if (vk == VK_F3) return skc_find_again;
    if (vk == VK_F5) return ctrl ? skc_find_workbench : skc_find;
    if (vk == VK_F4) return ctrl ? sketch_cmd_close : 0;
    if (!ctrl) {
        if (vk == 'H') return level_limit ? skc_hide_level : skc_hide;
        if (vk == 'B') return skc_show_behavior;
        return 0;
    }
    switch (vk) {
    case 'A':
        return skc_select_all;
    case 'B':
        return skc_sim_base + 3; // Livesweep on or off
    case 'E':
        return skc_sim_base + 0; // set-up
    case 'R':
        return skc_sim_base + 1; // simulate
    case 'C':
        return skc_copy;
    case 'F':
        return skc_find;
    case 'G':
        return skc_find_again;
    case 'H':
        return skc_ctrl_h;
    case 'I':
        return skc_ctrl_i;
    case 'P':
        return skc_print;
    case 'S':
        return skc_save;
    case 'T':
        return skc_ctrl_t;
    case 'U':
        return skc_ctrl_u;
    case 'V':
        return skc_paste;
    case 'W':
        return sketch_cmd_close;
    case 'X':
        return skc_cut;
    case 'Y':
        return skc_redo;
    case 'Z':
        return shift ? skc_redo : skc_undo;
    default:
        return 0;
    }
}
