// Points the bottom bar's view hook at the sketch windows.
#pragma once

// Called from main.
void install_sketch_bar_values();
