// Which program shows the chooser on Linux.
#pragma once

#include <string>

// DSC_JNA_CHOOSER when it is set and not empty; otherwise "dsc_chooser" in
// the directory of the module that holds this code (the library itself, or
// the program it is linked into). Empty when that directory is unknown.
std::string chooser_programPath();
