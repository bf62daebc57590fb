// The open model the changes-file targets apply their input to: scalars,
// subscripted constants over two ranges, a lookup and a string, with its
// setup copy made. true when it is open.
#pragma once

#include "model/model.h"
#include "sim/setup.h"
#include "tests/support/model_builder.h"

inline bool open_changes_model() {
    model_builder b("fuzz");
    b.control(0, 2, 1, 1);
    b.range("region", {"north", "south", "east"});
    b.range("pair", {"north", "south"});
    b.constant("k", 2);
    b.constant("c[region]", 1);
    b.constant("m[region, pair]", 0);
    b.lookup("curve", {{0, 0}, {10, 10}});
    b.aux("shaped", "curve(Time) * k + SUM(c[region!])");
    b.string_var("label", "text");
    if (!b.finish()) return false;
    model_pair m = b.release();
    close_model(m.header, m.symbols);
    return ensure_setup_copy(0) == 1;
}
