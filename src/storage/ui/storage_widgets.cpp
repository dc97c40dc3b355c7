#include "storage/ui/storage_widgets.h"

#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "common/log.h"
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

}  // namespace kd
