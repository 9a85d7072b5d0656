// Result codes of the core. Codes never change meaning once published.
#pragma once

#define TCORE_OK 0
#define TCORE_ERR_PARAM (-10002)
#define TCORE_ERR_BUFSIZE (-10003)
#define TCORE_ERR_BASE64_CHAR (-110004)
#define TCORE_ERR_MBTOWIDE (-110005)
#define TCORE_ERR_WIDETOMB (-110006)
#define TCORE_ERR_UTF8TOWIDE (-110007)
#define TCORE_ERR_WIDETOUTF8 (-110008)
#define TCORE_ERR_REG_OPEN (-110021)
#define TCORE_ERR_REG_QUERY (-110027)

// Exit status of the process when memory runs out: no caller ever sees a
// failed allocation.
#define TCORE_EXIT_NO_MEMORY 111
