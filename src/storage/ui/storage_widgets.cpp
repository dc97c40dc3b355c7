#include "storage/ui/storage_widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "common/log.h"
#include "link/comm_error.h"
#include "shell/config_store.h"
#include "shell/page_context.h"

namespace kd {

QImage DeviceImage(const QWidget* widget, QSize size) {
    const qreal dpr = widget->devicePixelRatioF();
    QImage img(size * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    return img;
}

QSize ClientSize(const QScrollArea* box, bool horizontalBar, bool verticalBar) {
    const int bar = box->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, box);
    const int frame = 2 * box->frameWidth();
    return {std::max(1, box->width() - frame - (verticalBar ? bar : 0)),
            std::max(1, box->height() - frame - (horizontalBar ? bar : 0))};
}

QToolButton* MakeZoomButton(QWidget* parent, const char* name, const QString& glyph) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(glyph);
    b->setAutoRepeat(false);  // the page's timer repeats a held button
    return b;
}

void ReportStorageFile(TPageContext& ctx, bool save, const QString& file,
                       const std::string& reason) {
    WriteLog(kLogError, "%s '%s': %s", save ? "save" : "load", file.toUtf8().constData(),
             reason.c_str());
    const std::string heading =
        save ? ctx.Translate("file_save_failed", "The file could not be saved.")
             : ctx.Translate("file_open_failed", "The file could not be opened.");
    ctx.Services.Message("", heading + "\n" + file.toStdString() + "\n\n" + reason);
}

double ReadStoreDouble(const TConfigStore* store, const char* group, const char* name, double def,
                       double min, double max) {
    if (!store) return def;
    const std::optional<double> v = store->ReadDouble(group, name);
    if (!v || !std::isfinite(*v) || *v < min || *v > max) return def;
    return *v;
}

TStorageIo StorageIoOf(TPageContext& ctx, bool storedProfiles) {
    TStorageIo io;
    io.Command = [&ctx](uint16_t code, std::span<const uint8_t> p) {
        return ctx.Worker.Command(code, p);
    };
    io.MemRead = [&ctx](void* b, uint32_t a, uint16_t m, int w) { ctx.Worker.MemRead(b, a, m, w); };
    if (storedProfiles)
        io.FetchProfile = StoredProfileFetch(io.MemRead);
    else
        io.FetchProfile = [](uint32_t, std::span<uint16_t>) -> int {
            throw ECommError("no profile fetch on this page");
        };
    return io;
}

void ConnectStorageControls(QWidget* page, TPageContext& ctx, const TStorageControls& c, int mine,
                            QString* autoSaveName, TStorageHandlers h) {
    auto guarded = [&ctx, update = h.UpdateActions](std::function<void()> f) {
        return [&ctx, update, f] {
            try {
                f();
            } catch (const std::exception& e) {
                update();
                ctx.Services.HandleException(e);
            }
        };
    };
    QObject::connect(c.Start, &QAction::triggered, page, guarded(h.StartStop));
    QObject::connect(c.Fetch, &QAction::triggered, page, guarded(h.Fetch));
    QObject::connect(c.StartButton, &QPushButton::clicked, c.Start, [&ctx, c, mine] {
        c.StartButton->setChecked(ctx.State.StorageRunState == mine);  // the action decides
        c.Start->trigger();
    });
    QObject::connect(c.FetchButton, &QPushButton::clicked, c.Fetch, &QAction::trigger);
    // The button shows its action's (localised) caption.
    QObject::connect(c.Fetch, &QAction::changed, c.FetchButton,
                     [c] { c.FetchButton->setText(c.Fetch->text()); });
    QObject::connect(c.Save, &QAction::triggered, page, [page, save = h.Save] {
        const QString f = QFileDialog::getSaveFileName(page, {}, {}, "CSV file(*.csv)");
        if (!f.isEmpty()) save(QFileInfo(f).suffix().isEmpty() ? f + ".csv" : f);
    });
    QObject::connect(c.Load, &QAction::triggered, page, [page, load = h.Load] {
        const QString f = QFileDialog::getOpenFileName(page, {}, {}, "CSV file(*.csv)");
        if (!f.isEmpty()) load(f);
    });
    QObject::connect(c.SaveButton, &QPushButton::clicked, c.Save, &QAction::trigger);
    QObject::connect(c.LoadButton, &QPushButton::clicked, c.Load, &QAction::trigger);
    QObject::connect(c.ClearButton, &QPushButton::clicked, page, [clear = h.Clear] { clear(); });
    QObject::connect(c.AutoSave, &QCheckBox::clicked, page, [page, c, autoSaveName](bool on) {
        if (!on) return;
        const QString f = QFileDialog::getSaveFileName(page, {}, *autoSaveName, "CSV file(*.csv)");
        if (f.isEmpty())
            c.AutoSave->setChecked(false);
        else
            *autoSaveName = f;
    });
}

void ShowStorageControls(const QWidget* page, const TPageContext& ctx, const TStorageControls& c,
                         int mine, bool fetching) {
    const int run = ctx.State.StorageRunState;
    const bool linked = ctx.State.LinkState != 0;
    const QString caption =
        page->findChild<QLabel*>(run == mine ? "StopLabel" : "StartLabel")->text();
    c.Start->setEnabled(linked && run != 3 - mine && ctx.State.StoragePoll);
    c.Start->setText(caption);
    c.StartButton->setEnabled(c.Start->isEnabled());
    c.StartButton->setChecked(run == mine);
    c.StartButton->setText(caption);
    c.Fetch->setEnabled(linked && !fetching && ctx.State.StoragePoll);
    c.FetchButton->setEnabled(c.Fetch->isEnabled());
}

void PlaceStorageControls(QWidget* page, const TStorageControls& c, QWidget* count, int top) {
    if (auto* bevel = page->findChild<QFrame*>("Bevel1", Qt::FindDirectChildrenOnly))
        bevel->setGeometry(0, 0, page->width(), page->height());
    int x = 8;
    for (QWidget* b : {c.StartButton, c.FetchButton, c.SaveButton, c.LoadButton, c.ClearButton}) {
        b->setGeometry(x, top + 6, 76, 28);
        x += 80;
    }
    c.AutoSave->setGeometry(x + 4, top + 8, 120, 24);
    count->setGeometry(std::max(page->width(), 400) - 150, top + 8, 142, 24);
}

}  // namespace kd
