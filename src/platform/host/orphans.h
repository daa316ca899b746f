// Children nobody waits for any more are still reaped when they end, so that none lingers as a
// zombie: a SIGCHLD handler reaps exactly these pids, and no other process's.
#pragma once

#include <sys/types.h>

namespace tvx::host {

/// Takes over a child of this process that is still running and that no one will wait for.
void AdoptOrphan(pid_t pid);

/// Reaps adopted children that have ended and that the handler could not take (called on the
/// machine's own process calls).
void ReapOrphans();

}  // namespace tvx::host
