#include "platform/linux/canberra_sounds.h"

#include <QFile>

#include <canberra.h>

namespace {

// ALSA prints to standard error when it finds no sound card; without one only a
// sound server (PulseAudio, PipeWire) may play, and canberra is kept to it.
bool hasSoundCard() {
    QFile cards(QStringLiteral("/proc/asound/cards"));
    if (!cards.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = cards.readAll();
    return !text.trimmed().isEmpty() && !text.contains("no soundcards");
}

} // namespace

CanberraSounds::~CanberraSounds() {
    if (context_)
        ca_context_destroy(context_);
}

void CanberraSounds::play(Sound sound) {
    if (failed_)
        return;
    if (!context_) {
        // Created on first use: an agent that never plays opens no sound device.
        if (ca_context_create(&context_) != CA_SUCCESS) {
            failed_ = true;
            context_ = nullptr;
            return;
        }
        if (!hasSoundCard())
            ca_context_set_driver(context_, "pulse");
        ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Korvel Agent",
                                CA_PROP_APPLICATION_ID, "korvel-agent", nullptr);
    }
    ca_context_play(context_, 0, CA_PROP_EVENT_ID,
                    sound == Sound::glass ? "complete" : "dialog-error", nullptr);
}
