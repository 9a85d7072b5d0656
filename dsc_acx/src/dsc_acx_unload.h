// What the signing client holds between calls (the selected certificate,
// the open log and its trace sink, the loaded token libraries), given back
// when the module is unloaded, so a host that loads and unloads the library
// again and again (an application server redeploying) keeps nothing of it.
#pragma once

// Frees all of it and unloads the token libraries; afterwards the state is
// as at load. Only while no call can be running in the library or in a
// token library: the caller holds the export lock.
void dsc_acx_unload();
