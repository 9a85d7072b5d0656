// The module's unload: everything the library holds is given back and the
// token libraries it loaded are unloaded, so a host that loads and unloads
// it again and again keeps nothing of it. Called by the platform's unload
// hook (dsc_jna_unload_win.cpp, dsc_jna_unload_posix.cpp).
#pragma once

// Frees the state only when no call is running: a call still under way (a
// host thread inside an export, or inside a token library the export
// called) keeps its state and its token libraries, which are then left
// loaded rather than pulled from under it.
void dsc_jna_unload();
