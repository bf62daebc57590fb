// The integration techniques as the toolbar and the technique chooser name
// them, in run_setup::method order.
#pragma once

inline constexpr const char* method_names[] = {"Euler", "RK4 Fixed", "RK2 Fixed", "RK4 Auto",
                                               "Difference"};
inline constexpr int method_count = 5;
