#include "platform/linux/canberra_sounds.h"

#include <alsa/asoundlib.h>
#include <canberra.h>

namespace {
// ALSA reports a missing sound card on stderr; the agent stays silent instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
} // namespace

CanberraSounds::CanberraSounds() {
    snd_lib_error_set_handler(quietAlsa);
}

CanberraSounds::~CanberraSounds() {
    if (context_)
        ca_context_destroy(context_);
}

void CanberraSounds::play(const QString& name) {
    const char* event = nullptr;
    if (name == QLatin1String("Glass"))
        event = "complete";
    else if (name == QLatin1String("Basso"))
        event = "dialog-error";
    if (!event || failed_)
        return;
    if (!context_) {
        // Created on first use: an agent that never plays opens no sound device.
        if (ca_context_create(&context_) != CA_SUCCESS) {
            failed_ = true;
            context_ = nullptr;
            return;
        }
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Korvel Agent",
                                CA_PROP_APPLICATION_ID, "korvel-agent", nullptr);
    }
    ca_context_play(context_, 0, CA_PROP_EVENT_ID, event, nullptr);
}
