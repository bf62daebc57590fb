// The changes-file commands of the Changes menu: reading constant and lookup
// changes from a changes file into the setup copies, and writing the changes
// made to one.
#pragma once

// Read Additional Changes from File: asks for the file, reads it aside, and
// only when it read cleanly asks whether to reset the on-screen changes and
// applies it. 1 when changes were applied.
int read_additional_changes();
// The same for a named file (no file dialog).
int read_additional_changes_from(const char* name);
// Write Changes Made to .cin file: asks for the name and writes.
int write_changes_command();
