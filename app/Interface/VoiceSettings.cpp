#include "app/Interface/VoiceSettings.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Interface/SettingsForm.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Support/Log.hpp"
#include "app/Transcription/ModelStatus.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"

namespace Parlox {

using namespace WindowParts;

RatingDots::RatingDots(int value, const Theme& theme, QWidget* parent) : QWidget(parent), value_(value), theme_(theme) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize RatingDots::sizeHint() const { return {5 * 5 + 4 * 2, 5}; }

void RatingDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double top = (height() - 5) / 2.0;
    for (int position = 1; position <= 5; ++position) {
        QColor color = theme_.primary();
        color.setAlphaF(float(opacity(position)));
        painter.setBrush(color);
        painter.drawEllipse(QRectF((position - 1) * 7, top, 5, 5));
    }
}

std::filesystem::path VoiceSettings::modelFolder() { return platform::Paths::applicationSupportDirectory() / "Models"; }

VoiceSettings::VoiceSettings(const WindowServices& services, const Theme& theme, QWidget* parent)
    : QWidget(parent), services_(services), theme_(theme) {
    auto* form = new SettingsForm(theme, this);
    column(0, this)->addWidget(form);

    FormSection* transcription = form->addSection(QStringLiteral("Transcripción"));
    auto* box = new QWidget();
    auto* content = column(12, box);
    content->setContentsMargins(0, 4, 0, 4);
    content->addWidget(footnote(QStringLiteral("Whisper large-v3 turbo, en tu propio ordenador. Entiende el castellano, "
                                               "aunque luego pidas el texto en catalán o en inglés."),
                                theme, box));
    auto* ratings = new QWidget(box);
    auto* ratingsRow = row(18, ratings);
    const auto rating = [&](const QString& label, int value) {
        auto* item = new QWidget(ratings);
        auto* itemRow = row(5, item);
        itemRow->addWidget(footnote(label, theme, item));
        itemRow->addWidget(new RatingDots(value, theme, item), 0, Qt::AlignVCenter);
        ratingsRow->addWidget(item);
    };
    rating(QStringLiteral("Precisión"), 5);
    rating(QStringLiteral("Velocidad"), 4);
    auto* size = new QWidget(ratings);
    auto* sizeRow = row(4, size);
    sizeRow->addWidget(new SymbolView("internaldrive", 12, theme.secondary(), 0, size), 0, Qt::AlignVCenter);
    sizeRow->addWidget(footnote(QStringLiteral("1,6 GB"), theme, size));
    ratingsRow->addWidget(size);
    ratingsRow->addStretch(1);
    content->addWidget(ratings);
    auto* status = new QWidget(box);
    status_ = row(8, status);
    content->addWidget(status);
    transcription->addRow(box);

    FormSection* place = form->addSection(QStringLiteral("Dónde está el modelo"));
    auto* path = new HeadElidedPath(QString::fromStdString(modelFolder().string()));
    path->setFont(body());
    QPalette palette = path->palette();
    palette.setColor(QPalette::WindowText, theme.secondary());
    path->setPalette(palette);
    auto* reveal = new QPushButton(QStringLiteral("Abrir la carpeta"));
    styleButton(*reveal, false, theme);
    connect(reveal, &QPushButton::clicked, this, &VoiceSettings::revealModelFolder);
    place->addLabeledRow(path, reveal);
    place->setFooter(
        QStringLiteral("El audio nunca se guarda: vive en memoria mientras grabas y se borra al transcribirlo."));

    if (services_.modelChanged) modelChanges_ = services_.modelChanged->connect([this] { updateStatus(); });
    updateStatus();
}

void VoiceSettings::updateStatus() {
    while (QLayoutItem* item = status_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    auto* host = status_->parentWidget();
    const Transcriber::State state = services_.modelState();
    switch (state.kind) {
        case Transcriber::State::Kind::ready:
            status_->setSpacing(5);
            status_->addWidget(new SymbolView("checkmark.circle.fill", 12, theme_.green(), 0, host), 0, Qt::AlignVCenter);
            statusText_ = text(QStringLiteral("Listo para usar"), callout(), theme_.green(), false, host);
            break;
        case Transcriber::State::Kind::failed:
            statusText_ = text(QString::fromStdString(state.message), callout(), theme_.orange(), true, host);
            break;
        default:
            status_->setSpacing(8);
            status_->addWidget(new ProgressSpinner(13, theme_, host), 0, Qt::AlignVCenter);
            statusText_ = text(QString::fromStdString(ModelStatus::text(state)), callout(), theme_.primary(), true, host);
            break;
    }
    status_->addWidget(statusText_, 1);
    for (QWidget* child : host->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) child->show();
}

void VoiceSettings::revealModelFolder() {
    const auto folder = modelFolder();
    try {
        platform::FileManager::createDirectories(folder);
    } catch (const platform::Error& error) {
        Log::error("No he podido crear la carpeta del modelo: " + error.localizedDescription());
    }
    if (services_.workspace)
        services_.workspace->openURL(QUrl::fromLocalFile(QString::fromStdString(folder.string())).toString().toStdString());
}

}  // namespace Parlox
