/* The JavaScript engine for msxsl:script, compiled from the source that Debian's duktape-dev
 * ships, with one addition the packaged library lacks: an execution time check, so that a
 * script that never ends stops with an error instead of hanging the program. */
/* As the engine's own source defines it before it reads its configuration. */
#define DUK_COMPILING_DUKTAPE
#include "duk_config.h"

#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) zandrel_script_timed_out(udata)
extern int zandrel_script_timed_out(void *udata);

#include "duktape.c"
