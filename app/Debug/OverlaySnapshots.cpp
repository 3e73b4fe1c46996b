#include "app/Debug/OverlaySnapshots.hpp"

#include "app/Debug/Snapshot.hpp"
#include "app/Overlay/OverlayView.hpp"

namespace Parlox {

const std::vector<OverlaySnapshots::Sample>& OverlaySnapshots::samples() {
    using State = OverlayModel::State;
    static const std::vector<Sample> table = {
        {"0-grabando-silencio", State::recording(), 0},
        {"1-grabando-voz", State::recording(), 0.7f},
        {"2-pausa", State::paused(), 0},
        {"3-redactando", State::working("Redactando\u2026"), 0},
        {"4-copiado", State::done("Copiado"), 0},
        {"5-error", State::error("Sin respuesta", true), 0},
        {"6-error-largo", State::error("Sin sesi\u00F3n", false), 0},
    };
    return table;
}

void OverlaySnapshots::render(const std::filesystem::path& folder,
                              const std::function<void(const std::string&)>& print) {
    Snapshot::prepareFolder(folder);
    for (const Sample& sample : samples()) {
        for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
            OverlayModel model;
            model.startClock();
            model.setState(sample.state);
            model.setLevel(sample.level);
            OverlayView view(model, true);
            view.setTheme(theme);
            const float grey = theme.dark ? 0.05f : 0.96f;
            const QByteArray png = Snapshot::png(Snapshot::render(view, 2, QColor::fromRgbF(grey, grey, grey)));
            if (png.isEmpty()) continue;
            const std::string name = sample.name + "-" + Snapshot::suffix(theme) + ".png";
            Snapshot::write(png, folder / name);
            print(name);
        }
    }
}

}  // namespace Parlox
