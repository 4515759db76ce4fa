// The command line: up to six positional arguments read into RunSettings with
// their defaults, before any file is opened.
#pragma once

#include "table/run.h"

namespace floveran {

// Reads the arguments after the program name.
RunSettings read_settings(int argument_count, const char* const* arguments);

}  // namespace floveran
