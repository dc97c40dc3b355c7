// Every page of the program, connected to the simulated sensor, at the
// display scaling of QT_SCALE_FACTOR (ctest runs this at 1, 1.25, 1.5 and 2)
// and in every language: no control shows a text wider than itself, and the
// profile and chart plots are drawn at the device pixel ratio. With
// KD_TEST_PNG naming a folder the pages are saved there for looking at.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QToolButton>
#include <cstdlib>
#include <optional>

#include "app/program.h"
#include "app_test_util.h"
#include "measure/ui/chart_frame.h"
#include "measure/ui/profile_frame.h"
#include "shell/session/kest_session.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"

using namespace kd;
using apptest::KestApp;
using apptest::Pump;

namespace {

struct TextFit {
    int need;  // pixels the text takes
    int have;  // pixels the control gives it
};

QString Shown(QString text) {
    return text.replace("&&", "\x01").remove('&').replace('\x01', '&');
}

// The widest line of a text in the widget's font.
int TextWidth(const QWidget* w, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('\n'))
        widest = std::max(widest, w->fontMetrics().horizontalAdvance(line));
    return widest;
}

// How a control's own text fits it; nothing for controls without a text.
std::optional<TextFit> FitOf(QWidget* w) {
    QStyle* style = w->style();
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text().isEmpty() || !l->pixmap().isNull()) return std::nullopt;
        // a wrapping label must hold its lines in its height
        if (l->wordWrap()) return TextFit{l->heightForWidth(l->width()), l->height()};
        return TextFit{l->minimumSizeHint().width(), l->width()};
    }
    if (auto* c = qobject_cast<QCheckBox*>(w)) {
        if (c->text().isEmpty()) return std::nullopt;
        QStyleOptionButton o;
        o.initFrom(c);
        const QRect r = style->subElementRect(QStyle::SE_CheckBoxContents, &o, c);
        return TextFit{TextWidth(c, Shown(c->text())), c->width() - r.left()};
    }
    if (auto* b = qobject_cast<QRadioButton*>(w)) {
        if (b->text().isEmpty()) return std::nullopt;
        QStyleOptionButton o;
        o.initFrom(b);
        const QRect r = style->subElementRect(QStyle::SE_RadioButtonContents, &o, b);
        return TextFit{TextWidth(b, Shown(b->text())), b->width() - r.left()};
    }
    if (auto* t = qobject_cast<QToolButton*>(w)) {
        if (t->text().isEmpty() || t->toolButtonStyle() == Qt::ToolButtonIconOnly ||
            (t->toolButtonStyle() == Qt::ToolButtonFollowStyle && !t->icon().isNull()))
            return std::nullopt;
        return TextFit{TextWidth(t, Shown(t->text())), t->contentsRect().width()};
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        if (b->text().isEmpty()) return std::nullopt;
        const int icon = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        return TextFit{TextWidth(b, Shown(b->text())) + icon, b->contentsRect().width()};
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text().isEmpty() || e->echoMode() != QLineEdit::Normal) return std::nullopt;
        QStyleOptionFrame o;
        o.initFrom(e);
        o.lineWidth = e->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, e) : 0;
        const QMargins m = e->textMargins();
        const int have = style->subElementRect(QStyle::SE_LineEditContents, &o, e).width() -
                         m.left() - m.right() - 4;  // the edit keeps 2 px on either side
        return TextFit{e->fontMetrics().horizontalAdvance(e->text()), have};
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable() || c->currentText().isEmpty()) return std::nullopt;
        QStyleOptionComboBox o;
        o.initFrom(c);
        o.editable = false;
        o.frame = c->hasFrame();
        const QRect r =
            style->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c);
        return TextFit{c->fontMetrics().horizontalAdvance(c->currentText()), r.width()};
    }
    return std::nullopt;
}

QString PathOf(const QWidget* w) {
    QString path = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
    for (const QObject* up = w->parent(); up && up->parent(); up = up->parent())
        if (!up->objectName().isEmpty()) path = up->objectName() + "/" + path;
    return path;
}

// "page path 'text' needs N px, has M px" for every visible control of the
// window whose text does not fit it.
QStringList Clipped(QWidget& window, const QString& where) {
    QStringList out;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != &window) continue;
        const std::optional<TextFit> fit = FitOf(w);
        if (!fit || fit->need <= fit->have) continue;
        QString text = qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text()
                       : qobject_cast<QAbstractButton*>(w)
                           ? qobject_cast<QAbstractButton*>(w)->text()
                       : qobject_cast<QLineEdit*>(w) ? qobject_cast<QLineEdit*>(w)->text()
                       : qobject_cast<QComboBox*>(w) ? qobject_cast<QComboBox*>(w)->currentText()
                                                     : QString();
        out << QString("%1 %2 '%3' needs %4 px, has %5 px")
                   .arg(where, PathOf(w), text.left(40).replace('\n', ' '))
                   .arg(fit->need)
                   .arg(fit->have);
    }
    return out;
}

}  // namespace

TEST(Scaling, EveryPageShowsItsTextsWholeInEveryLanguage) {
    qputenv("KDSIM_ARGS", "--no-pace --frame-us 5000");
    KestApp();
    SetProgramIdentity();
    const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    TKestProgram program({});
    TKestTrel& window = program.Window;
    program.Host.ShowMessage = [](const std::string&, const std::string&) {};
    window.Thread()->PortName = "SIM";
    window.CreateWindows();
    window.show();
    ASSERT_TRUE(program.Session.TryConnect());
    EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), scale);
    // The program names itself to the desktop and carries its icon.
    EXPECT_EQ(QGuiApplication::desktopFileName(), "kdtrelva");
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_FALSE(window.windowIcon().pixmap(32, 32).isNull());

    const int pages[] = {0x10, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x31, 0x32, 0x33, 0x90};
    QStringList clipped;
    const char* png = std::getenv("KD_TEST_PNG");
    for (const char* lang : {"en", "ja", "cn", "ko"}) {
        window.SelectLanguage(std::string(lang) + ":");
        for (int page : pages) {
            window.ShowPage(page);
            Pump(30);
            const QString where = QString("%1 0x%2").arg(lang).arg(page, 0, 16);
            clipped << Clipped(window, where);
            // the plots are drawn in the screen's own pixels
            for (QFrame* f : window.findChildren<QFrame*>()) {
                if (!f->isVisible()) continue;
                if (auto* profile = dynamic_cast<TProfileFrame*>(f)) {
                    EXPECT_EQ(profile->PlotImage().devicePixelRatio(), scale)
                        << where.toStdString();
                }
                if (auto* chart = dynamic_cast<TChartFrame*>(f)) {
                    EXPECT_EQ(chart->BackBitmap().devicePixelRatio(), scale) << where.toStdString();
                }
            }
            if (png)
                window.grab().save(
                    QString("%1/scale%2_%3_%4.png").arg(png).arg(scale).arg(lang).arg(page, 0, 16));
        }
    }
    EXPECT_TRUE(clipped.isEmpty()) << clipped.size() << " clipped:\n"
                                   << clipped.join('\n').toStdString();
}
