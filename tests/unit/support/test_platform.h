// Facts about the platform the suite runs on.
#pragma once

// A library every process of the platform can load by name.
extern const char* const kSystemLibrary;
// A symbol that library exports.
extern const char* const kSystemLibrarySymbol;
