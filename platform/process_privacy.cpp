#include "platform/process_privacy.h"

#include "platform/session.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace platform {

void keepMemoryPrivate(const QProcessEnvironment& environment)
{
    if (environment.value(QStringLiteral("VELMORA_DUMPABLE")) == QLatin1String("1")) {
        return;
    }
    // systemd-coredump and the kernel's own core files both honour a limit of zero.
    const rlimit noCoreFiles{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFiles);
    if (!isWaylandSession(environment)) {
        prctl(PR_SET_DUMPABLE, 0);
    }
}

} // namespace platform
