#include <syslog.h>
#include <systemd/sd-journal.h>

#include <string>

#include "journal.h"

namespace vrnskdm::platform {

void systemd_journal::record(std::string_view message) {
  const std::string text{message};
  sd_journal_send("MESSAGE=%s", text.c_str(), "SYSLOG_IDENTIFIER=vrnskdm", "PRIORITY=%i",
                  LOG_NOTICE, nullptr);
}

}  // namespace vrnskdm::platform
