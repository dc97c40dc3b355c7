#include "storage/ui/fetch_panel.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "common/clock.h"
#include "common/log.h"
#include "shell/page_context.h"

namespace kd {

TFetchPanel::TFetchPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("FetchPanel");
    Bar = new QProgressBar(this);
    Bar->setObjectName("FetchProgress");
    Bar->setGeometry(0, 2, 200, 22);
    Rate = new QLabel(this);
    Rate->setObjectName("FetchRateLabel");
    Rate->setGeometry(206, 2, 250, 22);
    AbortButton = new QPushButton("Stop", this);
    AbortButton->setObjectName("AbortButton");
    AbortButton->setGeometry(460, 0, 70, 26);
    connect(AbortButton, &QPushButton::clicked, this, [this] {
        if (!running_) return;
        abort_ = true;
        WriteLog(kLogRed, "ABORT");
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { abort_ = true; });
    hide();
}

TFetchProgressFn TFetchPanel::Begin(const QString& what) {
    abort_ = false;
    running_ = true;
    lastShown_ = 0;
    Bar->setValue(0);
    Rate->clear();
    show();
    QCoreApplication::processEvents();
    return [this, what](const TFetchProgress& p) {
        const uint32_t now = TickMs();
        if (now - lastShown_ >= 200 || p.Done == p.Total) {
            lastShown_ = now;
            Bar->setMaximum(std::max(p.Total, 1));
            Bar->setValue(p.Done);
            Bar->setFormat(QString("%1/%2 %3").arg(p.Done).arg(p.Total).arg(what));
            const int left = int(p.SecondsLeft + 0.5);
            Rate->setText(QString("%1 kB/s  %2:%3")
                              .arg(p.RateKBs, 0, 'f', 1)
                              .arg(left / 60)
                              .arg(left % 60, 2, 10, QChar('0')));
        }
        QCoreApplication::processEvents();
        return !abort_ && !QCoreApplication::closingDown();
    };
}

void TFetchPanel::End() {
    running_ = false;
    hide();
}

QString OutcomeText(const TFetchOutcome& o, bool profiles, const TPageContext& ctx) {
    auto tr = [&](const char* name, const char* def) {
        return QString::fromStdString(ctx.Translate(name, def));
    };
    QString t = (profiles ? tr("fetch_profiles_arrived", "%1 of %2 profiles arrived")
                          : tr("fetch_records_arrived", "%1 of %2 records arrived"))
                    .arg(o.Done)
                    .arg(o.Total);
    if (o.Aborted) t += " " + tr("fetch_aborted", "(aborted)");
    if (!o.Error.empty()) t += QString(": %1").arg(QString::fromStdString(o.Error));
    return t;
}

QString PartlyReadText(const QString& file, const std::string& error, int count, bool profiles,
                       const TPageContext& ctx) {
    const QString read =
        QString::fromStdString(profiles ? ctx.Translate("load_profiles_read", "%1 profiles read")
                                        : ctx.Translate("load_records_read", "%1 records read"));
    return QString("%1: %2 (%3)").arg(file, QString::fromStdString(error), read.arg(count));
}

}  // namespace kd
