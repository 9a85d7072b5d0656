// What the "call_host" and "block" faults do inside a call.
#pragma once

namespace softskf {

// Calls the host's callback, if one is set, with the SKF function's name.
void call_host(const char* function);

// Waits until the test releases blocked calls (at once if it already has).
void block_until_released();

}  // namespace softskf
