// The camera page on the offscreen platform against the simulated sensor:
// a picture with its stripe and band, the camera window dragged past the
// edge and outside, and the fetch stopped with the page.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "pages/ui/tp_camera.h"
#include "tests/pages/ui/pages_sim_fixture.h"

using namespace kd;

namespace {

using pagestest::Pump;

// The sensor on its own real-time clock.
class CameraOnSim : public pagestest::PagesSimFixture {
  protected:
    CameraOnSim() : PagesSimFixture(0) {}

    // Press, move and release on the picture in paint box pixels.
    static void DragOn(TPCamera& page, QPoint from, QPoint to) {
        page.PictureMouse(1, from, false);
        page.PictureMouse(0, from, true);
        page.PictureMouse(1, to, true);
        page.PictureMouse(2, to, false);
    }
};

}  // namespace

TEST_F(CameraOnSim, PictureShowsTheStripeAndTheBand) {
    TPCamera page(t.Ctx);
    page.ShowParams();
    page.show();
    EXPECT_TRUE(NewRequests().size() <= 1);  // at most the sampling period
    page.Action("CamRefresh")->trigger();
    EXPECT_TRUE(t.State.CameraLive);
    for (int i = 0; i < 600 && page.Fetching(); ++i) Pump(5);
    ASSERT_FALSE(page.Fetching());
    EXPECT_FALSE(t.State.CameraLive);
    EXPECT_EQ(page.ViewPicture.width, page.ImageWindow.Width());
    EXPECT_EQ(page.ViewPicture.height, page.ImageWindow.Height());
    EXPECT_FALSE(page.Line.empty());
    // The section through the middle column crosses the stripe.
    EXPECT_EQ(page.SectionColumn, (page.ImageWindow.left + page.ImageWindow.right) / 2);
    EXPECT_GT(page.Peak.Value, 0);
    EXPECT_LT(page.Peak.Upper, page.Peak.Lower);
    // The stripe in the picture lies where the profile's positions put it.
    const auto& mid = page.Line[page.Line.size() / 2];
    const int x = static_cast<int>(mid.x) - page.ImageWindow.left;
    const int y = static_cast<int>(mid.y) - page.ImageWindow.top;
    if (x >= 0 && x < page.ViewPicture.width && y >= 0 && y < page.ViewPicture.height) {
        const std::vector<uint8_t> col = camera::SectionOf(page.ViewPicture, x);
        const int peakRow =
            static_cast<int>(std::max_element(col.begin(), col.end()) - col.begin());
        EXPECT_NEAR(peakRow, y, 4);
    }
    // A threshold above every pixel leaves no band.
    ASSERT_FALSE(page.Section.empty());
    const int brightest = *std::max_element(page.Section.begin(), page.Section.end());
    page.ThresholdEdit->setText("255");
    EXPECT_EQ(page.Peak.Value, brightest == 255 ? 255 : 0);
    test::SavePng(page.grab().toImage(), "camera_page");
}

TEST_F(CameraOnSim, WindowDraggedPastTheEdgeOrOutside) {
    TPCamera page(t.Ctx);
    page.ShowParams();
    page.show();
    page.Action("CamRect")->setChecked(true);
    NewRequests();
    const camera::TViewRect w = page.Window;
    // Grab the middle and drag right by 48 beyond the right edge.
    const QPoint mid((w.left + w.right) / 2, (w.top + w.bottom) / 2);
    const int over = (800 - w.right + 48 + 15) / 16 * 16;
    DragOn(page, mid, mid + QPoint(over, 0));
    const int overhang = w.right + over - 800;
    const CamRect sent = camera::SensorWindowFor(page.Window);
    EXPECT_EQ(page.Window.right, w.right + over);
    EXPECT_EQ(sent.left, 0);
    EXPECT_EQ(sent.width % 16, 0);
    EXPECT_GE(sent.width, w.Width() - overhang);
    EXPECT_LT(sent.width, w.Width() - overhang + 16);
    const Requests r = NewRequests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.front(),
              Format("SET_CAM_RECT %d,%d,%d,%d", sent.top / 8, 0, sent.height / 8, sent.width / 8));
    EXPECT_EQ(t.Ctx.GetBank("CamLeft"), 0);
    EXPECT_EQ(t.Ctx.GetBank("CamWidth"), sent.width);
    // Dragged fully outside: springs back, nothing stored or sent.
    const camera::TViewRect before = page.Window;
    DragOn(page, QPoint((before.left + before.right) / 2, (before.top + before.bottom) / 2),
           QPoint(2000, 2000));
    EXPECT_EQ(page.Window, before);
    EXPECT_TRUE(NewRequests().empty());
}

TEST_F(CameraOnSim, NrAndHidingStopsTheFetch) {
    TPCamera page(t.Ctx);
    page.ShowParams();
    page.show();
    page.CameraModeCombo->setCurrentIndex(3);
    emit page.CameraModeCombo->activated(3);
    const Requests r = NewRequests();
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[0], "CAM_FUNC 3");
    EXPECT_EQ(r[1], "GET_SHUTT1");
    EXPECT_EQ(t.Ctx.GetBank("CamNR"), 1);
    EXPECT_EQ(t.Ctx.GetBank("CamMode"), 0);
    page.HighQualityCheck->setChecked(true);
    page.Action("CamRefresh")->trigger();
    EXPECT_TRUE(page.Fetching());
    page.hide();
    EXPECT_FALSE(page.Fetching());
    EXPECT_FALSE(t.State.CameraLive);
    for (int i = 0; i < 400 && th.Task != kTaskIdle; ++i) Pump(5);
    EXPECT_EQ(th.Task, kTaskIdle);
}

TEST_F(CameraOnSim, FastModeHalvesThePictureAndKeepsTheStripe) {
    TPCamera page(t.Ctx);
    page.ShowParams();
    page.show();
    page.CameraModeCombo->setCurrentIndex(1);
    emit page.CameraModeCombo->activated(1);
    EXPECT_EQ(t.Ctx.GetBank("CamMode"), 2);
    // 12 us: kept as 10, sent as 2.
    page.ShutterEdit->setText("12");
    EXPECT_EQ(t.Ctx.GetBank("Shutter"), 10);
    page.ShutterEdit->setText("400");  // bright enough to see the stripe
    // Pictures the sensor took before the change stay dark: wait for new ones.
    Pump(50);
    Requests r = NewRequests();
    EXPECT_EQ(r.front(), "CAM_FUNC 1");
    EXPECT_NE(std::find(r.begin(), r.end(), "SET_SHUTT0 2"), r.end());

    for (bool high : {true, false}) {
        SCOPED_TRACE(high ? "high quality" : "live view");
        page.HighQualityCheck->setChecked(high);
        page.Action("CamRefresh")->trigger();
        for (int i = 0; i < 600 && page.Fetching(); ++i) Pump(5);
        ASSERT_FALSE(page.Fetching());
        // The sensor was read for a picture of half the window's size each way.
        const int w = page.ImageWindow.Height() / 2, h = page.ImageWindow.Width() / 2;
        EXPECT_EQ(th.Image.width, w);
        EXPECT_EQ(th.Image.height, h);
        if (high) {
            r = NewRequests();
            const auto at = std::find_if(r.begin(), r.end(), [](const std::string& q) {
                return q.rfind("GET_IMG_ADDR", 0) == 0;
            });
            int words = 0;
            for (auto q = at; q != r.end(); ++q)
                if (q->rfind("MEM_READ", 0) == 0) words += std::stoi(q->substr(q->rfind(' ') + 1));
            EXPECT_EQ(words, w * h / 2);
        }
        // Shown at the window's full size, with the stripe, its line and a band.
        EXPECT_EQ(page.ViewPicture.width, page.ImageWindow.Width());
        EXPECT_EQ(page.ViewPicture.height, page.ImageWindow.Height());
        EXPECT_FALSE(page.Line.empty());
        // The stripe at full resolution somewhere in the picture (the live
        // picture reads only the neighbourhoods of its brightest thumbnail pixels).
        // Where the thumbnail's brightest samples all share one level, that
        // level is the threshold and a picture shows no stripe: a few pictures
        // of the moving part must show it.
        auto brightColumns = [&page] {
            int bright = 0;
            for (int x = 0; x < page.ViewPicture.width; x += 4) {
                const std::vector<uint8_t> col = camera::SectionOf(page.ViewPicture, x);
                bright += *std::max_element(col.begin(), col.end()) > 100;
            }
            return bright;
        };
        for (int again = 0; !high && again < 3 && brightColumns() == 0; ++again) {
            Pump(20);
            page.Action("CamRefresh")->trigger();
            for (int i = 0; i < 600 && page.Fetching(); ++i) Pump(5);
        }
        EXPECT_GT(brightColumns(), 0);
        if (high) {
            EXPECT_GT(page.Peak.Value, 0);
        }
    }
}

TEST_F(CameraOnSim, SaveImageAndTheServiceMask) {
    TPCamera page(t.Ctx);
    page.ShowParams();
    page.show();
    // Save Image: the picture as a bitmap under the name the dialog gives.
    QString asked;
    page.SaveFileName = [&](const QString& name) {
        asked = name;
        return QString::fromStdString(dir + "/pic.bmp");
    };
    page.Action("SaveImage")->trigger();
    EXPECT_EQ(asked, "KD_camera_image.bmp");
    const QImage saved(QString::fromStdString(dir + "/pic.bmp"));
    EXPECT_EQ(saved.size(), QSize(page.ViewPicture.width, page.ViewPicture.height));

    // The mask painted over the picture's top left and written on release.
    page.ShowServiceTools(true);
    NewRequests();
    page.Action("CamMask")->setChecked(true);
    page.PictureMouse(0, {40, 40}, true);
    page.Action("CamMask")->setChecked(false);
    const Requests r = NewRequests();
    int words = 0;
    for (const std::string& q : r)
        if (q.rfind("MEM_WRITE 0xD", 0) == 0) words += std::stoi(q.substr(q.rfind(' ') + 1));
    EXPECT_EQ(words, 1024);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.back(), "MASK_WRITE");
    // Pixel (5, 5) of the mask lies under the brush: row 5, byte 0, bit 2.
    EXPECT_NE(qBlue(page.Mask.pixel(5, 5)), 0);
}
