/* The refocus dialog in the full GIMP under Xvfb, driven by real input
 * events: OK computes, writes and stores (the defaults in place of an
 * unusable stored block); Cancel leaves image and stored block alone;
 * Preview then Reset shows the unprocessed selection; the motion-direction
 * control follows clicks and drags of button 1. */
#include "gimp_support.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <atomic>
#include <cmath>
#include <cstring>

extern "C" {
#include "netpbm_io.h"
#include "refocus_geometry.h"
}

using namespace gimp_bench;
using namespace ostrel_test;

namespace {

const char kTitle[] = "^Iterative Refocus$";

/* The whole screen as RGB bytes. */
struct Screen {
    int width = 0, height = 0;
    std::vector<guint8> rgb;
    const guint8 *at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

/* The dialog's window as it shows on the screen (there is no window
 * manager, so nothing covers it). */
bool grab(const std::string &win, Screen *s)
{
    int wx, wy, ww, wh;
    if (!window_geometry(win, &wx, &wy, &ww, &wh) || ww <= 0 || wh <= 0)
        return false;
    gchar *dir = g_dir_make_tmp("ostrel-shot-XXXXXX", nullptr);
    if (!dir)
        return false;
    std::string path = std::string(dir) + "/screen.ppm";
    bool ok = run_program({"import", "-window", "root", "-depth", "8", path}, 20);
    NetpbmImage img;
    char err[256];
    if (ok && netpbm_read(path.c_str(), &img, err, sizeof err) == 0) {
        ok = img.channels == 3 && wx >= 0 && wy >= 0 && wx + ww <= img.width &&
             wy + wh <= img.height;
        if (ok) {
            s->width = ww;
            s->height = wh;
            s->rgb.resize((size_t)ww * wh * 3);
            for (int y = 0; y < wh; y++)
                memcpy(&s->rgb[(size_t)y * ww * 3],
                       &img.pixels[((size_t)(wy + y) * img.width + wx) * 3], (size_t)ww * 3);
        }
        netpbm_free(&img);
    } else {
        ok = false;
    }
    g_remove(path.c_str());
    g_rmdir(dir);
    g_free(dir);
    return ok;
}

/* Where the top-left w x h pixels of a bpp-byte picture appear on the
 * screen (grey shown as three equal bytes); false when nowhere. */
bool find_picture(const Screen &s, const std::vector<guint8> &pic, int pic_w, int bpp,
                  int w, int h, int *px, int *py)
{
    auto matches = [&](int x0, int y0, int rows) {
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < w; x++) {
                const guint8 *scr = s.at(x0 + x, y0 + y);
                const guint8 *p = &pic[((size_t)y * pic_w + x) * bpp];
                for (int k = 0; k < 3; k++)
                    if (scr[k] != p[bpp >= 3 ? k : 0])
                        return false;
            }
        return true;
    };
    for (int y = 0; y + h <= s.height; y++)
        for (int x = 0; x + w <= s.width; x++)
            if (matches(x, y, 1) && matches(x, y, h)) {
                *px = x;
                *py = y;
                return true;
            }
    return false;
}

/* The dialog's five buttons (Help, OK, Reset, Preview, Cancel) from the
 * bottom edges of their frames: the lowest row of the dialog that holds
 * five dark runs of button width.  Fills the centres, left to right. */
bool find_buttons(const Screen &s, int centres_x[5], int *centre_y)
{
    for (int y = s.height - 1; y > 0; y--) {
        std::vector<std::pair<int, int>> runs;
        int start = -1;
        for (int x = 0; x <= s.width; x++) {
            bool dark = x < s.width &&
                        s.at(x, y)[0] + s.at(x, y)[1] + s.at(x, y)[2] < 3 * 130;
            if (dark && start < 0)
                start = x;
            if (!dark && start >= 0) {
                if (x - start > 40)
                    runs.push_back({start, x - 1});
                start = -1;
            }
        }
        if (runs.size() == 5) {
            for (int i = 0; i < 5; i++)
                centres_x[i] = (runs[i].first + runs[i].second) / 2;
            *centre_y = y - 12;
            return true;
        }
    }
    return false;
}

/* The motion-direction control: the bounding box of the black disc, found
 * as the black region (4-connected) around the first solid 12 x 12 block of
 * black; entry borders and text are thin and never hold such a block. */
bool find_motion_area(const Screen &s, int *ax, int *ay)
{
    auto black = [&](int x, int y) {
        const guint8 *p = s.at(x, y);
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    };
    auto solid = [&](int x0, int y0) {
        for (int y = y0; y < y0 + 12; y++)
            for (int x = x0; x < x0 + 12; x++)
                if (!black(x, y))
                    return false;
        return true;
    };
    int sx = -1, sy = -1;
    for (int y = 0; y + 12 <= s.height && sx < 0; y++)
        for (int x = 0; x + 12 <= s.width; x++)
            if (solid(x, y)) {
                sx = x;
                sy = y;
                break;
            }
    if (sx < 0)
        return false;
    std::vector<bool> seen((size_t)s.width * s.height);
    std::vector<std::pair<int, int>> todo = {{sx, sy}};
    int x0 = sx, y0 = sy, x1 = sx, y1 = sy;
    seen[(size_t)sy * s.width + sx] = true;
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        x0 = std::min(x0, x); x1 = std::max(x1, x);
        y0 = std::min(y0, y); y1 = std::max(y1, y);
        const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
        for (int k = 0; k < 4; k++)
            if (nx[k] >= 0 && ny[k] >= 0 && nx[k] < s.width && ny[k] < s.height &&
                !seen[(size_t)ny[k] * s.width + nx[k]] && black(nx[k], ny[k])) {
                seen[(size_t)ny[k] * s.width + nx[k]] = true;
                todo.push_back({nx[k], ny[k]});
            }
    }
    /* The disc fills the 80 x 80 area edge to edge. */
    if (x1 - x0 + 1 < MOTION_AREA_SIZE - 2 || x1 - x0 + 1 > MOTION_AREA_SIZE ||
        y1 - y0 + 1 < MOTION_AREA_SIZE - 2 || y1 - y0 + 1 > MOTION_AREA_SIZE)
        return false;
    *ax = x0;
    *ay = y0;
    return true;
}

bool click_at(const std::string &win, int x, int y) { return click(win, x, y); }

int ignore_x_error(Display *, XErrorEvent *) { return 0; }

/* What a window manager's close button sends: WM_DELETE_WINDOW.  A window
 * that has gone meanwhile is no error of the test's. */
bool close_window(const std::string &win)
{
    XSetErrorHandler(ignore_x_error);
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    Window w = (Window)strtoul(win.c_str(), nullptr, 10);
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    Status ok = XSendEvent(d, w, False, NoEventMask, &ev);
    XFlush(d);
    XCloseDisplay(d);
    return ok != 0;
}

/* Polls the screen until pred holds, for at most timeout_s. */
template <typename Pred>
bool wait_screen(const std::string &win, Pred pred, double timeout_s, Screen *s)
{
    gint64 end = g_get_monotonic_time() + (gint64)(timeout_s * 1e6);
    do {
        if (grab(win, s) && pred(*s))
            return true;
        g_usleep(150000);
    } while (g_get_monotonic_time() < end);
    return false;
}

class Dialog : public testing::Test {
protected:
    /* The X server resets itself when its last client leaves, and refuses
     * connections while it does; with GIMP started without an interface,
     * the last client is often a plug-in that has just closed its dialog.
     * One connection held for the whole program keeps the server up. */
    static void SetUpTestSuite()
    {
        if (interactive())
            keepalive_ = XOpenDisplay(nullptr);
    }
    static void TearDownTestSuite()
    {
        if (keepalive_)
            XCloseDisplay(keepalive_);
        keepalive_ = nullptr;
    }
    static Display *keepalive_;

    void SetUp() override
    {
        if (!interactive())
            GTEST_SKIP() << "needs the full GIMP on a display";
    }
    /* Opens the dialog on img's layer and runs body while it is up; the
     * body reports failures through *failure.  Returns the status. */
    GimpPDBStatusType run_dialog(const PhotoImage &img,
                                 std::function<void(const std::string &, std::string *)> body,
                                 std::string *failure)
    {
        GimpPDBStatusType status;
        {
            DialogDriver driver([&] {
                std::string win = wait_window(kTitle, 60);
                if (win.empty()) {
                    *failure = "the dialog did not appear";
                    return;
                }
                body(win, failure);
                if (!failure->empty())
                    send_keys(win, {"Escape"});
                if (!wait_window_gone(kTitle, 30)) {
                    if (failure->empty())
                        *failure = "the dialog did not close";
                    send_keys(win, {"Escape"});
                    if (!wait_window_gone(kTitle, 5))
                        kill_window(win);
                }
            });
            status = run_procedure("ostrel", call_params(GIMP_RUN_INTERACTIVE, img.image,
                                                         img.layer, Values()));
        }
        return status;
    }
    /* The same once the dialog's buttons show: body receives the screen
     * they were found on and their centres (see find_buttons). */
    struct Buttons {
        Screen screen;
        int x[5], y;
    };
    GimpPDBStatusType run_with_buttons(
        const PhotoImage &img,
        std::function<void(const std::string &, const Buttons &, std::string *)> body,
        std::string *failure)
    {
        return run_dialog(img, [&](const std::string &win, std::string *fail) {
            Buttons b;
            auto found = [&](const Screen &sc) { return find_buttons(sc, b.x, &b.y); };
            if (wait_screen(win, found, 20, &b.screen))
                body(win, b, fail);
            else
                *fail = "no buttons found";
        }, failure);
    }
};

Display *Dialog::keepalive_ = nullptr;

/* Values in the procedure's order (radius, gauss, motion, angle, noise,
 * boundary, smoothness, adaptive, area size, iterations, preview ones). */
Values fast_values() { return Values{2.5, 0.5, 0, 0, 250, 0, 20, 1, 2, 3, 2}; }

/* The labels' part of the dialog (top half, left fifth) looks as in
 * 'initial': it is drawn greyed out while the dialog is insensitive. */
static bool same_label_area(const Screen &sc, const Screen &initial)
{
    for (int y = 0; y < initial.height / 2; y++)
        for (int x = 0; x < initial.width / 5; x++)
            if (memcmp(sc.at(x, y), initial.at(x, y), 3) != 0)
                return false;
    return true;
}

TEST_F(Dialog, OkComputesWritesAndStores)
{
    const PhotoImage img(64, 48, GIMP_RGB_IMAGE, 31);
    const Values v = fast_values();
    set_data("ostrel", stored_block(v));
    std::string failure;
    GimpPDBStatusType status = run_with_buttons(img, [&](const std::string &win, const Buttons &b,
                                                          std::string *fail) {
        screenshot("ostrel-dialog");
        if (!click_at(win, b.x[1], b.y))
            *fail = "could not click OK";
    }, &failure);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(status, GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), tool_refocus(img.before, img.w, img.h, img.bpp, v));
    EXPECT_EQ(get_data("ostrel"), stored_block(v));
}

/* A stored block with values that cannot be computed (written by a script
 * under our key) does not reach the dialog: it opens with the defaults, and
 * OK computes with them and stores them in the block's place. */
TEST_F(Dialog, UnusableStoredBlockGivesWayToTheDefaults)
{
    const PhotoImage img(24, 18, GIMP_RGB_IMAGE, 13);
    Values bad = fast_values();
    bad.radius = std::nan("");
    set_data("ostrel", stored_block(bad));
    std::string failure;
    GimpPDBStatusType status = run_with_buttons(img, [&](const std::string &win, const Buttons &b,
                                                          std::string *fail) {
        if (!click_at(win, b.x[1], b.y))
            *fail = "could not click OK";
    }, &failure);
    Values defaults;
    defaults.iterations = 100;
    EXPECT_EQ(failure, "");
    EXPECT_EQ(status, GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), tool_refocus(img.before, img.w, img.h, img.bpp, defaults));
    EXPECT_EQ(get_data("ostrel"), stored_block(defaults));
}

TEST_F(Dialog, CancelLeavesImageAndStoredValues)
{
    const PhotoImage img(40, 30, GIMP_RGBA_IMAGE, 8);
    const auto block = stored_block(fast_values());
    set_data("ostrel", block);
    for (int by_key = 0; by_key < 2; by_key++) {
        std::string failure;
        GimpPDBStatusType status = run_with_buttons(img, [&](const std::string &win, const Buttons &b,
                                                              std::string *fail) {
            bool ok = by_key ? send_keys(win, {"Escape"}) : click_at(win, b.x[4], b.y);
            if (!ok)
                *fail = "could not cancel";
        }, &failure);
        EXPECT_EQ(failure, "") << (by_key ? "Escape" : "Cancel");
        EXPECT_EQ(status, GIMP_PDB_SUCCESS);
        EXPECT_EQ(read_pixels(img.layer), img.before);
        EXPECT_EQ(get_data("ostrel"), block);
    }
}

TEST_F(Dialog, PreviewThenResetShowsTheUnprocessedSelection)
{
    /* Larger than the preview window, so only its top-left part shows. */
    const PhotoImage img(150, 140, GIMP_RGB_IMAGE, 77);
    const auto &before = img.before;
    const int w = img.w, bpp = img.bpp;
    Values v = fast_values();
    v.radius = 4;
    const auto block = stored_block(v);
    set_data("ostrel", block);
    std::string failure;
    GimpPDBStatusType status = run_dialog(img, [&](const std::string &win, std::string *fail) {
        Screen s;
        int px = 0, py = 0, bx[5], by;
        auto shows_original = [&](const Screen &sc) {
            return find_picture(sc, before, w, bpp, PREVIEW_MAX_SIZE, PREVIEW_MAX_SIZE, &px, &py);
        };
        if (!wait_screen(win, shows_original, 20, &s) || !find_buttons(s, bx, &by)) {
            *fail = "the first preview does not show the selection's top-left 128 x 128";
            send_keys(win, {"Escape"});
            return;
        }
        const Screen initial = s;
        /* The dialog is insensitive while it computes: its labels are
         * drawn greyed out until the computation has ended. */
        auto labels_as_initially = [&](const Screen &sc) { return same_label_area(sc, initial); };
        auto preview_changed = [&](const Screen &sc) {
            for (int y = 0; y < PREVIEW_MAX_SIZE; y++)
                for (int x = 0; x < PREVIEW_MAX_SIZE; x++)
                    if (memcmp(sc.at(px + x, py + y), initial.at(px + x, py + y), 3) != 0)
                        return labels_as_initially(sc);
            return false;
        };
        click_at(win, bx[3], by);
        if (!wait_screen(win, preview_changed, 30, &s)) {
            *fail = "Preview did not change the preview window";
        } else {
            screenshot("ostrel-dialog-preview");
            click_at(win, bx[2], by);
            auto reset_done = [&](const Screen &sc) {
                int x, y;
                return find_picture(sc, before, w, bpp, PREVIEW_MAX_SIZE, PREVIEW_MAX_SIZE, &x, &y)
                       && x == px && y == py;
            };
            if (!wait_screen(win, reset_done, 20, &s))
                *fail = "after Reset the preview does not show the unprocessed selection";
            screenshot("ostrel-dialog-reset");
        }
        send_keys(win, {"Escape"});
    }, &failure);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(status, GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), before) << "Preview and Reset must not write";
    EXPECT_EQ(get_data("ostrel"), block);
}

/* Closing the window while a computation runs: the computation stops at
 * its next step.  During Preview nothing is written or stored; during OK
 * the partial result is written and the values are stored. */
TEST_F(Dialog, ClosingDuringAComputationStopsIt)
{
    for (int during_ok = 0; during_ok < 2; during_ok++) {
        /* Runs of a few seconds, so the close comes while they compute: 20
         * preview iterations over 640 x 480, or 100 final ones over
         * 300 x 240 (which the tool then repeats in full). */
        const int w = during_ok ? 300 : 640, h = during_ok ? 240 : 480;
        const PhotoImage img(w, h, GIMP_RGB_IMAGE, 64);
        const auto &before = img.before;
        Values v;
        v.iterations = 100;
        v.prev_iter = 20;
        const auto block = stored_block(v);
        set_data("ostrel", block);
        std::string failure;
        gint64 closed_at = 0;
        GimpPDBStatusType status = run_with_buttons(img, [&](const std::string &win, const Buttons &b,
                                                              std::string *fail) {
            const Screen &initial = b.screen;
            Screen s;
            auto insensitive = [&](const Screen &sc) { return !same_label_area(sc, initial); };
            click_at(win, b.x[during_ok ? 1 : 3], b.y);
            if (!wait_screen(win, insensitive, 20, &s)) {
                *fail = "the dialog did not turn insensitive while computing";
                return;
            }
            if (!close_window(win))
                *fail = "could not send WM_DELETE_WINDOW";
            closed_at = g_get_monotonic_time();
        }, &failure);
        const double seconds_after_close = (g_get_monotonic_time() - closed_at) / 1e6;
        EXPECT_EQ(failure, "") << (during_ok ? "OK" : "Preview");
        EXPECT_EQ(status, GIMP_PDB_SUCCESS);
        EXPECT_LT(seconds_after_close, 60.0);
        const auto after = read_pixels(img.layer);
        if (during_ok) {
            EXPECT_NE(after, before) << "the partial result is written";
            EXPECT_NE(after, tool_refocus(before, w, h, img.bpp, v)) << "the run was not stopped";
            EXPECT_EQ(get_data("ostrel"), block);
        } else {
            EXPECT_EQ(after, before);
            EXPECT_EQ(get_data("ostrel"), block);
        }
    }
}

/* Noise 0 greys out the whole "Area smoothing" frame; 0.1 enables it
 * again.  The Noise spin button is reached through the focus chain, which
 * starts at the Radius slider: slider and spin button of each of the four
 * rows above it, then the Noise slider. */
TEST_F(Dialog, NoiseZeroDisablesAreaSmoothing)
{
    const PhotoImage img(40, 30, GIMP_RGB_IMAGE, 2);
    const auto block = stored_block(fast_values());
    set_data("ostrel", block);
    std::string failure;
    GimpPDBStatusType status = run_with_buttons(img, [&](const std::string &win, const Buttons &b,
                                                          std::string *fail) {
        const Screen &initial = b.screen;
        Screen s;
        /* The labels of the lower frame, and those of the upper one. */
        auto region_same = [&](const Screen &sc, int y0, int y1) {
            for (int y = y0; y < y1; y++)
                for (int x = 0; x < initial.width / 5; x++)
                    if (memcmp(sc.at(x, y), initial.at(x, y), 3) != 0)
                        return false;
            return true;
        };
        const int upper0 = initial.height / 10, upper1 = initial.height / 2;
        const int lower0 = initial.height * 6 / 10, lower1 = initial.height * 8 / 10;
        std::vector<std::string> keys(9, "Tab");
        for (const char *k : {"ctrl+a", "0", "Tab"})
            keys.push_back(k);
        send_keys(win, keys);
        if (!wait_screen(win, [&](const Screen &sc) {
                return !region_same(sc, lower0, lower1) && region_same(sc, upper0, upper1);
            }, 10, &s)) {
            *fail = "Noise 0 did not grey out only the Area smoothing frame";
        } else {
            screenshot("ostrel-dialog-noise0");
            send_keys(win, {"shift+Tab", "ctrl+a", "0", "period", "1", "Tab"});
            if (!wait_screen(win, [&](const Screen &sc) {
                    return region_same(sc, lower0, lower1);
                }, 10, &s))
                *fail = "Noise 0.1 did not enable the Area smoothing frame again";
        }
        send_keys(win, {"Escape"});
    }, &failure);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(status, GIMP_PDB_SUCCESS);
    EXPECT_EQ(read_pixels(img.layer), img.before);
    EXPECT_EQ(get_data("ostrel"), block);
}

double stored_angle()
{
    auto block = get_data("ostrel");
    if (block.size() != 72)
        return -1;
    guint64 bits = 0;
    for (int i = 7; i >= 0; i--)
        bits = bits << 8 | block[24 + i];
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

TEST_F(Dialog, MotionControlFollowsClicksAndDrags)
{
    const PhotoImage img(48, 40, GIMP_GRAY_IMAGE, 55);
    Values v = fast_values();
    v.motion = 3;
    set_data("ostrel", stored_block(v));

    struct Step { int x, y; double angle; };
    /* Press and release at the bottom: 270; drag from the left edge (180)
     * to the top (90); after the release, pointer motion changes nothing. */
    std::string failure;
    GimpPDBStatusType status = run_dialog(img, [&](const std::string &win, std::string *fail) {
        Screen s;
        int ax, ay, bx[5], by;
        if (!wait_screen(win, [&](const Screen &sc) {
                return find_motion_area(sc, &ax, &ay) && find_buttons(sc, bx, &by);
            }, 20, &s)) {
            *fail = "motion control not found";
            send_keys(win, {"Escape"});
            return;
        }
        auto needle_white_at = [&](const Screen &sc, int x, int y) {
            const guint8 *p = sc.at(ax + x, ay + y);
            return p[0] == 255 && p[1] == 255 && p[2] == 255;
        };
        auto mv = [&](int x, int y) {
            return std::vector<std::string>{"mousemove", "--window", win, "--sync",
                                            std::to_string(ax + x),
                                            std::to_string(ay + y)};
        };
        std::vector<std::string> argv = {"xdotool"};
        for (auto part : {mv(40, 79), {"click", "1"}})
            argv.insert(argv.end(), part.begin(), part.end());
        run_program(argv, 10);
        if (!wait_screen(win, [&](const Screen &sc) { return needle_white_at(sc, 40, 70); }, 10, &s))
            *fail = "the needle does not point down after a click at (40, 79)";
        argv = {"xdotool"};
        for (auto part : {mv(1, 40), {"mousedown", "1"}, mv(20, 20), mv(40, 1), {"mouseup", "1"},
                          mv(79, 40), mv(60, 70)})
            argv.insert(argv.end(), part.begin(), part.end());
        run_program(argv, 10);
        if (!wait_screen(win, [&](const Screen &sc) {
                return needle_white_at(sc, 40, 10) && !needle_white_at(sc, 40, 70);
            }, 10, &s) && fail->empty())
            *fail = "the needle does not point up after the drag";
        screenshot("ostrel-dialog-motion");
        click_at(win, bx[1], by);
    }, &failure);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(status, GIMP_PDB_SUCCESS);
    const double angle = stored_angle();
    EXPECT_NEAR(angle, 90.0, 3.0) << "the drag ended at the top of the control";
    Values expect = v;
    expect.mot_angle = angle;
    EXPECT_EQ(read_pixels(img.layer), tool_refocus(img.before, img.w, img.h, img.bpp, expect));
}

}  // namespace
