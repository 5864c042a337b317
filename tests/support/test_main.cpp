#include "support/test_main.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvel::test {

void dropFileAccessOverride() {
    if (::geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    ::syscall(SYS_capset, &header, data);
}

} // namespace korvel::test
