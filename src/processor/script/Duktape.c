/* The JavaScript engine for msxsl:script, compiled from the source that Debian's duktape-dev
 * ships, with two additions the packaged library lacks: an execution time check, so that a
 * script that never ends stops with an error instead of hanging the program, and a way to
 * stop collecting garbage for a script that is being stopped. */
/* As the engine's own source defines it before it reads its configuration. */
#define DUK_COMPILING_DUKTAPE
#include "duk_config.h"

#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) zandrel_script_timed_out(udata)
extern int zandrel_script_timed_out(void *udata);

#include "duktape.c"

/* A block refused past the memory ceiling or the time limit makes the engine collect its
 * garbage up to ten times before it gives up, and again for each block its error handling then
 * asks for: minutes for a heap near a ceiling of a gigabyte, for a script that stops anyway.
 * Collection is held off as the engine's own prevent count allows, outside a collection only.
 * Returns whether it was held off; each such hold is released once. */
int zandrel_script_hold_collection(duk_context *context)
{
    duk_heap *heap = ((duk_hthread *)context)->heap;
    if (heap->ms_running != 0)
        return 0;
    heap->ms_prevent_count++;
    return 1;
}

void zandrel_script_release_collection(duk_context *context)
{
    ((duk_hthread *)context)->heap->ms_prevent_count--;
}
