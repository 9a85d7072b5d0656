// What the library's negative result codes mean, for messages a user reads.
#pragma once

// The meaning of a code, or null for a code the table does not know.
const char* dsc_result_meaning(int code);
