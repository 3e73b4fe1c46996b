#include "platform/audio/CanberraSystemSounds.hpp"

#include <canberra.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/foundation/NumberFormat.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::audio {

namespace {

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "sounds");
    return logger;
}

}  // namespace

struct CanberraSystemSounds::Context {
    std::mutex mutex;
    ca_context* context = nullptr;
    uint32_t nextId = 0;
    ~Context() {
        if (context != nullptr) ca_context_destroy(context);
    }
};

namespace {

class CanberraSound final : public SystemSound {
public:
    CanberraSound(std::shared_ptr<CanberraSystemSounds::Context> context, uint32_t id, std::string eventId,
                  std::filesystem::path file)
        : context_(std::move(context)), id_(id), eventId_(std::move(eventId)), file_(std::move(file)) {}

    void stop() override {
        std::lock_guard lock(context_->mutex);
        ca_context_cancel(context_->context, id_);
    }

    void setVolume(float volume) override {
        // The sound server takes decibels: 1 is 0 dB, 0.5 about -6 dB.
        volumeDb_ = volume > 0 ? formatFixed(20.0 * std::log10(std::min(volume, 1.0f)), 2) : "-100.00";
    }

    void play() override {
        std::lock_guard lock(context_->mutex);
        const int rc = ca_context_play(context_->context, id_, CA_PROP_EVENT_ID, eventId_.c_str(),
                                       CA_PROP_MEDIA_FILENAME, file_.c_str(), CA_PROP_CANBERRA_VOLUME,
                                       volumeDb_.c_str(), CA_PROP_MEDIA_ROLE, "event", nullptr);
        if (rc != CA_SUCCESS) log().error(std::string("Sound ") + eventId_ + " not played: " + ca_strerror(rc));
    }

private:
    std::shared_ptr<CanberraSystemSounds::Context> context_;
    uint32_t id_;
    std::string eventId_;
    std::filesystem::path file_;
    std::string volumeDb_ = "0.00";
};

}  // namespace

CanberraSystemSounds::CanberraSystemSounds(std::vector<std::filesystem::path> dataDirs)
    : context_(std::make_shared<Context>()), dataDirs_(std::move(dataDirs)) {
    if (dataDirs_.empty()) {
        const char* env = std::getenv("XDG_DATA_DIRS");
        std::istringstream dirs(env != nullptr && *env != '\0' ? env : "/usr/local/share:/usr/share");
        std::string dir;
        while (std::getline(dirs, dir, ':'))
            if (!dir.empty()) dataDirs_.emplace_back(dir);
    }
}

CanberraSystemSounds::~CanberraSystemSounds() = default;

std::optional<std::string> CanberraSystemSounds::eventId(const std::string& name) {
    if (name == "Tink") return "audio-volume-change";
    if (name == "Pop") return "complete";
    if (name == "Funk") return "dialog-error";
    return std::nullopt;
}

std::optional<std::filesystem::path> CanberraSystemSounds::themeFile(const std::string& id) const {
    for (const auto& dir : dataDirs_)
        for (const char* extension : {".oga", ".ogg", ".wav"}) {
            const auto path = dir / "sounds" / "freedesktop" / "stereo" / (id + extension);
            std::error_code ec;
            if (std::filesystem::is_regular_file(path, ec)) return path;
        }
    return std::nullopt;
}

std::shared_ptr<SystemSound> CanberraSystemSounds::named(const std::string& name) {
    const auto id = eventId(name);
    if (!id) return nullptr;
    const auto file = themeFile(*id);
    if (!file) return nullptr;
    std::lock_guard lock(context_->mutex);
    if (context_->context == nullptr) {
        if (ca_context_create(&context_->context) != CA_SUCCESS) {
            context_->context = nullptr;
            log().error("No event sound context");
            return nullptr;
        }
        ca_context_change_props(context_->context, CA_PROP_APPLICATION_NAME, "Parlox", CA_PROP_APPLICATION_ID,
                                "parlox", nullptr);
    }
    return std::make_shared<CanberraSound>(context_, ++context_->nextId, *id, *file);
}

}  // namespace platform::audio
