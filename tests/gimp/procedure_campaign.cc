// Random calls of the three photo procedures in the real GIMP: seeded and
// reproducible, over run modes (also invalid ones), parameter counts 0 to
// 20 with wrong types, hostile values, every kind of drawable, selections
// and invalid ids.  Every call must end within the time limit with
// success, a calling error or an execution error and never with a crashed
// plug-in; after an error the drawable is unchanged and the image is not
// dirty (nothing went on the undo stack); a success that changed the
// drawable left an undo step (the image is dirty), and one undo brings the
// original back: GIMP 2.10 offers plug-ins no undo procedure, so the test
// opens a display of the image, presses the editor's Ctrl+Z in it once and
// then expects the original pixels and a clean image (the plug-in's change
// was exactly one step).
//
// Runs in the full gimp-2.10 under Xvfb: interactive calls open the
// plug-in's dialog, which a watcher thread answers with Escape (cancel), so
// they end like any other call.
//
//   CORVELLA_CAMPAIGN_CALLS   calls per procedure (default 100)
//   CORVELLA_CAMPAIGN_SEED    seed to replay (default: from the clock; printed)
//   CORVELLA_CAMPAIGN_LIMIT   seconds per call before it counts as a hang
//                             and its plug-in process is killed (default 60)
//   CORVELLA_CAMPAIGN_UNDOS   Ctrl+Z presses per undone call (default 1; any
//                             other count must make the undo check fail)
#include "gimp_bench.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace gimp_bench;

namespace {

long env_long(const char *name, long fallback)
{
    const char *v = getenv(name);
    return v && *v ? strtol(v, nullptr, 10) : fallback;
}

guint64 campaign_seed()
{
    static guint64 seed = [] {
        const char *v = getenv("CORVELLA_CAMPAIGN_SEED");
        guint64 s = v && *v ? g_ascii_strtoull(v, nullptr, 10) : (guint64)g_get_real_time();
        printf("campaign seed %" G_GUINT64_FORMAT " (replay: CORVELLA_CAMPAIGN_SEED=%" G_GUINT64_FORMAT
               ")\n", s, s);
        fflush(stdout);
        return s;
    }();
    return seed;
}

guint64 checksum(const std::vector<guint8> &bytes)
{
    guint64 h = 1469598103934665603ull; // FNV-1a
    for (guint8 b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

// ---- the drawables ------------------------------------------------------

enum class Kind { Rgb, Rgba, Gray, Graya, Indexed, Channel, LayerMask, OneByOne, Tall, Wide };
const char *const kind_names[] = {"RGB", "RGBA", "GRAY", "GRAYA", "INDEXED", "channel",
                                  "layer-mask", "1x1", "1x4000", "4000x1"};

struct Target {
    Kind kind;
    gint32 image, drawable;
    int width, height;
    std::vector<guint8> original;
};

// Each drawable sits in an image twice its size, so a selection can lie
// wholly outside it.
Target make_target(Kind kind)
{
    Target t{kind, -1, -1, 16, 12, {}};
    GimpImageType type = GIMP_RGB_IMAGE;
    switch (kind) {
    case Kind::Rgba: type = GIMP_RGBA_IMAGE; break;
    case Kind::Gray: type = GIMP_GRAY_IMAGE; break;
    case Kind::Graya: type = GIMP_GRAYA_IMAGE; break;
    case Kind::Indexed: type = GIMP_INDEXED_IMAGE; break;
    case Kind::OneByOne: t.width = t.height = 1; break;
    case Kind::Tall: t.width = 1, t.height = 4000; break;
    case Kind::Wide: t.width = 4000, t.height = 1; break;
    default: break;
    }
    GimpImageBaseType base = type == GIMP_GRAY_IMAGE || type == GIMP_GRAYA_IMAGE ? GIMP_GRAY
                             : type == GIMP_INDEXED_IMAGE                        ? GIMP_INDEXED
                                                                                 : GIMP_RGB;
    t.image = gimp_image_new(2 * t.width, 2 * t.height, base);
    if (base == GIMP_INDEXED) {
        guint8 map[256 * 3];
        for (int i = 0; i < 256 * 3; i++)
            map[i] = (guint8)(i * 7);
        gimp_image_set_colormap(t.image, map, 256);
    }
    gint32 layer = gimp_layer_new(t.image, "background", t.width, t.height, type, 100.0,
                                  GIMP_LAYER_MODE_NORMAL);
    gimp_image_insert_layer(t.image, layer, 0, 0);
    t.drawable = layer;
    if (kind == Kind::Channel) {
        GimpRGB black = {0, 0, 0, 1};
        t.drawable = gimp_channel_new(t.image, "channel", 2 * t.width, 2 * t.height, 50, &black);
        gimp_image_insert_channel(t.image, t.drawable, 0, 0);
        t.width *= 2, t.height *= 2;
    } else if (kind == Kind::LayerMask) {
        t.drawable = gimp_layer_create_mask(layer, GIMP_ADD_MASK_WHITE);
        gimp_layer_add_mask(layer, t.drawable);
    }
    const int bpp = gimp_drawable_bpp(t.drawable);
    t.original = random_bytes((size_t)t.width * t.height * bpp, 1000 + (int)kind);
    write_pixels(t.drawable, t.original);
    return t;
}

enum class Selection { None, Rect, Ellipse, Outside };
const char *const selection_names[] = {"none", "rect", "ellipse", "outside"};

void select(const Target &t, Selection s)
{
    switch (s) {
    case Selection::None:
        gimp_selection_none(t.image);
        break;
    case Selection::Rect:
        gimp_image_select_rectangle(t.image, GIMP_CHANNEL_OP_REPLACE, t.width / 4, t.height / 4,
                                    std::max(1, t.width / 2), std::max(1, t.height / 2));
        break;
    case Selection::Ellipse:
        gimp_image_select_ellipse(t.image, GIMP_CHANNEL_OP_REPLACE, 0, 0, t.width, t.height);
        break;
    case Selection::Outside: // nothing of the drawable selected
        gimp_image_select_rectangle(t.image, GIMP_CHANNEL_OP_REPLACE, t.width + 1, t.height + 1,
                                    std::max(1, t.width / 2), std::max(1, t.height / 2));
        break;
    }
}

// ---- the procedures -----------------------------------------------------

struct Procedure {
    const char *name;      // canonical PDB name
    const char *plugin;    // program name (for the hang watchdog)
    const char *dialog;    // title of its dialog (extended regex)
    std::vector<GimpPDBArgType> args;
};

const Procedure procedures[] = {
    {"ostrel", "ostrel", "^Iterative Refocus$",
     {GIMP_PDB_INT32, GIMP_PDB_IMAGE, GIMP_PDB_DRAWABLE, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT,
      GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_INT32, GIMP_PDB_FLOAT,
      GIMP_PDB_INT32, GIMP_PDB_INT32, GIMP_PDB_INT32, GIMP_PDB_INT32}},
    {"plug-in-vareknoise2-0-64", "vareknoise2", "^Varek Noise 2 V 0\\.64$",
     {GIMP_PDB_INT32, GIMP_PDB_IMAGE, GIMP_PDB_DRAWABLE, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT,
      GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT,
      GIMP_PDB_FLOAT, GIMP_PDB_FLOAT, GIMP_PDB_FLOAT}},
    {"plug-in-tessaline", "tessaline", "^Tessaline$",
     {GIMP_PDB_INT32, GIMP_PDB_IMAGE, GIMP_PDB_DRAWABLE, GIMP_PDB_INT32, GIMP_PDB_INT32,
      GIMP_PDB_INT32}},
};

// ---- random calls -------------------------------------------------------

struct Rng {
    std::mt19937_64 g;
    explicit Rng(guint64 seed) : g(seed) {}
    int below(int n) { return (int)(g() % (guint64)n); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(g) < p; }
};

double pick_double(Rng &r)
{
    static const double special[] = {
        std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY, 1e308, -1e308, -1.0,
        -5.5, 0.0, -0.0, 4.9e-324, 2.2e-308, 2147483647.0, -2147483648.0, 1e7, 300.0};
    if (r.chance(0.3))
        return special[r.below((int)G_N_ELEMENTS(special))];
    return std::uniform_real_distribution<double>(0, r.chance(0.5) ? 2.0 : 25.0)(r.g);
}

gint32 pick_int32(Rng &r)
{
    static const gint32 special[] = {0, 1, -1, -7, 2147483647, -2147483647 - 1, 65536, 1000000};
    if (r.chance(0.3))
        return special[r.below((int)G_N_ELEMENTS(special))];
    return r.below(r.chance(0.5) ? 4 : 120);
}

struct Call {
    std::vector<GimpParam> params;
    std::string text;
};

const char *type_name(GimpPDBArgType t)
{
    switch (t) {
    case GIMP_PDB_INT32: return "i32";
    case GIMP_PDB_INT16: return "i16";
    case GIMP_PDB_INT8: return "i8";
    case GIMP_PDB_FLOAT: return "f";
    case GIMP_PDB_STRING: return "s";
    case GIMP_PDB_IMAGE: return "img";
    case GIMP_PDB_DRAWABLE: return "drw";
    case GIMP_PDB_LAYER: return "lay";
    case GIMP_PDB_CHANNEL: return "chn";
    default: return "?";
    }
}

Call random_call(Rng &r, const Procedure &proc, const Target &t)
{
    Call c;
    int n = (int)proc.args.size();
    if (r.chance(0.3))
        n = r.below(21);
    static const GimpPDBArgType any_type[] = {GIMP_PDB_INT32, GIMP_PDB_INT16, GIMP_PDB_INT8,
                                              GIMP_PDB_FLOAT, GIMP_PDB_STRING, GIMP_PDB_IMAGE,
                                              GIMP_PDB_DRAWABLE, GIMP_PDB_LAYER, GIMP_PDB_CHANNEL};
    static const gint32 run_modes[] = {GIMP_RUN_NONINTERACTIVE, GIMP_RUN_NONINTERACTIVE,
                                       GIMP_RUN_NONINTERACTIVE, GIMP_RUN_NONINTERACTIVE,
                                       GIMP_RUN_WITH_LAST_VALS, GIMP_RUN_INTERACTIVE,
                                       3, -1, 2147483647, -2147483647 - 1};
    static const gint32 bad_ids[] = {-1, 0, 999999, -2147483647 - 1};
    char buf[96];
    for (int i = 0; i < n; i++) {
        GimpPDBArgType type = i < (int)proc.args.size() ? proc.args[i] : any_type[r.below(9)];
        if (r.chance(0.03))
            type = any_type[r.below(9)]; // a wrong type
        GimpParam p;
        p.type = type;
        switch (type) {
        case GIMP_PDB_INT32:
            p.data.d_int32 = i == 0 ? run_modes[r.below(10)] : pick_int32(r);
            snprintf(buf, sizeof buf, "%d", p.data.d_int32);
            break;
        case GIMP_PDB_INT16:
            p.data.d_int16 = (gint16)pick_int32(r);
            snprintf(buf, sizeof buf, "%d", p.data.d_int16);
            break;
        case GIMP_PDB_INT8:
            p.data.d_int8 = (guint8)pick_int32(r);
            snprintf(buf, sizeof buf, "%u", p.data.d_int8);
            break;
        case GIMP_PDB_FLOAT:
            p.data.d_float = pick_double(r);
            snprintf(buf, sizeof buf, "%.17g", p.data.d_float);
            break;
        case GIMP_PDB_STRING:
            p.data.d_string = const_cast<gchar *>(r.chance(0.5) ? "" : "3.5");
            snprintf(buf, sizeof buf, "\"%s\"", p.data.d_string);
            break;
        case GIMP_PDB_IMAGE:
            p.data.d_image = r.chance(0.9) ? t.image : bad_ids[r.below(4)];
            snprintf(buf, sizeof buf, "%d", p.data.d_image);
            break;
        default: // drawable, layer, channel ids
            p.data.d_drawable = r.chance(0.9) ? t.drawable : bad_ids[r.below(4)];
            snprintf(buf, sizeof buf, "%d", p.data.d_drawable);
            break;
        }
        c.params.push_back(p);
        c.text += std::string(i ? " " : "") + type_name(type) + ":" + buf;
    }
    return c;
}

// ---- the watchers -------------------------------------------------------

// Cancels the procedures' dialogs and kills a plug-in process whose call
// has run past its time limit.  Only ever touches what the current call
// started: dialogs of the procedure under test and child processes of this
// GIMP whose program is that procedure's plug-in.
class Watcher {
public:
    Watcher() : thread_([this] { loop(); }) {}
    ~Watcher()
    {
        stop_ = true;
        thread_.join();
    }
    void begin(const Procedure *proc, double limit_s)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        proc_ = proc;
        deadline_ = g_get_monotonic_time() + (gint64)(limit_s * 1e6);
        killed_ = false;
    }
    bool end() // true when the call was killed as a hang
    {
        std::lock_guard<std::mutex> lock(mutex_);
        proc_ = nullptr;
        return killed_;
    }

private:
    void loop()
    {
        while (!stop_) {
            const Procedure *proc;
            gint64 deadline;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                proc = proc_;
                deadline = deadline_;
            }
            if (proc && interactive()) {
                std::string out;
                if (run_program({"xdotool", "search", "--onlyvisible", "--name", proc->dialog}, 5,
                                &out) &&
                    !out.empty()) {
                    g_usleep(300000);
                    send_keys(out.substr(0, out.find('\n')), {"Escape"});
                }
            }
            if (proc && g_get_monotonic_time() > deadline)
                kill_plugin(proc->plugin);
            g_usleep(150000);
        }
    }
    void kill_plugin(const char *program)
    {
        const pid_t gimp = getppid();
        DIR *dir = opendir("/proc");
        if (!dir)
            return;
        while (struct dirent *e = readdir(dir)) {
            pid_t pid = (pid_t)atoi(e->d_name);
            if (pid <= 0 || pid == getpid())
                continue;
            char path[64], exe[4096] = "";
            snprintf(path, sizeof path, "/proc/%d/stat", pid);
            FILE *f = fopen(path, "r");
            int ppid = 0;
            if (f) {
                if (fscanf(f, "%*d (%*[^)]) %*c %d", &ppid) != 1)
                    ppid = 0;
                fclose(f);
            }
            snprintf(path, sizeof path, "/proc/%d/exe", pid);
            ssize_t n = readlink(path, exe, sizeof exe - 1);
            if (ppid != gimp || n <= 0)
                continue;
            exe[n] = '\0';
            const char *base = strrchr(exe, '/');
            if (base && strcmp(base + 1, program) == 0) {
                kill(pid, SIGKILL);
                std::lock_guard<std::mutex> lock(mutex_);
                killed_ = true;
            }
        }
        closedir(dir);
    }

    std::mutex mutex_;
    const Procedure *proc_ = nullptr;
    gint64 deadline_ = 0;
    bool killed_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ---- undoing in the editor -----------------------------------------------

struct Pixels {
    guint64 sum;
    bool dirty;
    bool operator!=(const Pixels &o) const { return sum != o.sum || dirty != o.dirty; }
};

Pixels pixels_of(const Target &t)
{
    return {checksum(read_pixels(t.drawable)), gimp_image_is_dirty(t.image) != FALSE};
}

// Opens a display of the target's image, presses the editor's undo in its
// window (once, unless CORVELLA_CAMPAIGN_UNDOS says otherwise), waits until
// the drawable and the image's dirtiness have settled (bounded) and closes
// the display again.  Returns "" when the original pixels are back and the
// image is clean, else what is wrong.  Closing the image's last display
// deletes the image, so the target is then made anew.
std::string undo_in_editor(Target &t, const Pixels &changed, guint64 original)
{
    static const int presses = (int)env_long("CORVELLA_CAMPAIGN_UNDOS", 1);
    const gint32 display = gimp_display_new(t.image);
    if (display == -1)
        return "no display";
    char title[64];
    // GIMP's default title: "*[Untitled]-<image id>.<view> (...) ...", "*" when dirty
    snprintf(title, sizeof title, "^\\*?\\[Untitled\\]-%d\\.[0-9]+ ", t.image);
    const std::string window = wait_window(title, 20);
    std::string problem;
    if (window.empty())
        problem = "no image window";
    else if (presses > 0 && !send_keys(window, std::vector<std::string>((size_t)presses, "ctrl+z")))
        problem = "the keys were not typed";
    if (problem.empty()) {
        // Settled: changed from the state after the call and then the same
        // for 0.5 s; a state that never changes is given 8 s.
        const gint64 start = g_get_monotonic_time();
        gint64 since = start;
        Pixels now = changed;
        while (g_get_monotonic_time() - start < 8000000) {
            g_usleep(100000);
            Pixels next = pixels_of(t);
            if (next != now)
                now = next, since = g_get_monotonic_time();
            else if (now != changed && g_get_monotonic_time() - since >= 500000)
                break;
        }
        if (now.sum != original)
            problem = now.sum == changed.sum ? "undo left the drawable as the call made it"
                                             : "undo did not restore the original pixels";
        else if (now.dirty)
            problem = "restored but the image is still dirty";
    }
    gimp_display_delete(display);
    if (!gimp_image_is_valid(t.image))
        t = make_target(t.kind);
    return problem;
}

struct Figures {
    int calls = 0, crashes = 0, hangs = 0, changed_on_refusal = 0, dirty_on_refusal = 0,
        no_undo_step = 0, other_status = 0, undo_tried = 0, undo_restored = 0;
    double undo_seconds = 0;
    std::map<std::string, int> status;
};

const char *status_name(GimpPDBStatusType s)
{
    switch (s) {
    case GIMP_PDB_SUCCESS: return "success";
    case GIMP_PDB_CALLING_ERROR: return "calling error";
    case GIMP_PDB_EXECUTION_ERROR: return "execution error";
    case GIMP_PDB_PASS_THROUGH: return "pass through";
    case GIMP_PDB_CANCEL: return "cancel";
    }
    return "unknown";
}

void run_campaign(int proc_index)
{
    const Procedure &proc = procedures[proc_index];
    const int calls = (int)env_long("CORVELLA_CAMPAIGN_CALLS", 100);
    const double limit = (double)env_long("CORVELLA_CAMPAIGN_LIMIT", 60);
    Rng r(campaign_seed() * 3 + (guint64)proc_index);
    std::vector<Target> targets;
    for (int k = 0; k <= (int)Kind::Wide; k++)
        targets.push_back(make_target((Kind)k));
    Watcher watcher;
    Figures fig;
    for (int i = 0; i < calls; i++) {
        Target &t = targets[r.below((int)targets.size())];
        Selection sel = (Selection)r.below(4);
        select(t, sel);
        write_pixels(t.drawable, t.original);
        gimp_image_clean_all(t.image);
        const guint64 before = checksum(read_pixels(t.drawable));
        Call call = random_call(r, proc, t);

        watcher.begin(&proc, limit);
        gint64 start = g_get_monotonic_time();
        gint n_ret = 0;
        GimpParam *ret = gimp_run_procedure2(proc.name, &n_ret, (gint)call.params.size(),
                                             call.params.data());
        double seconds = (double)(g_get_monotonic_time() - start) / 1e6;
        bool hung = watcher.end();
        GimpPDBStatusType status = GIMP_PDB_CALLING_ERROR;
        std::string message;
        if (ret && n_ret > 0 && ret[0].type == GIMP_PDB_STATUS)
            status = ret[0].data.d_status;
        if (ret && n_ret > 1 && ret[1].type == GIMP_PDB_STRING && ret[1].data.d_string)
            message = ret[1].data.d_string;
        if (ret)
            gimp_destroy_params(ret, n_ret);

        const bool crashed = !hung && status == GIMP_PDB_EXECUTION_ERROR &&
                             (message.find("crash") != std::string::npos ||
                              message.find("returned no return values") != std::string::npos);
        const guint64 after = checksum(read_pixels(t.drawable));
        const bool dirty = gimp_image_is_dirty(t.image);
        std::string verdict = "ok";
        fig.calls++;
        fig.status[status_name(status)]++;
        if (hung) {
            fig.hangs++;
            verdict = "HANG";
        } else if (crashed) {
            fig.crashes++;
            verdict = "CRASH";
        } else if (status != GIMP_PDB_SUCCESS && status != GIMP_PDB_CALLING_ERROR &&
                   status != GIMP_PDB_EXECUTION_ERROR) {
            fig.other_status++;
            verdict = "UNEXPECTED STATUS";
        } else if (status != GIMP_PDB_SUCCESS && (after != before || dirty)) {
            fig.changed_on_refusal += after != before;
            fig.dirty_on_refusal += dirty;
            verdict = after != before ? "CHANGED ON REFUSAL" : "UNDO STEP ON REFUSAL";
        } else if (status == GIMP_PDB_SUCCESS && after != before && !dirty) {
            fig.no_undo_step++;
            verdict = "CHANGED WITHOUT UNDO STEP";
        } else if (status == GIMP_PDB_SUCCESS && after != before) {
            fig.undo_tried++;
            fig.undo_seconds += seconds_of([&] {
                std::string problem = undo_in_editor(t, {after, dirty}, before);
                if (problem.empty())
                    fig.undo_restored++;
                else
                    verdict = "NOT UNDONE: " + problem;
            });
        }
        printf("%s call %d: %s %s sel=%s [%s] -> %s%s%s (%.2f s) %s\n", proc.plugin, i,
               kind_names[(int)t.kind], after != before ? "changed" : "unchanged",
               selection_names[(int)sel], call.text.c_str(), status_name(status),
               message.empty() ? "" : ": ", message.c_str(), seconds, verdict.c_str());
        fflush(stdout);
    }
    for (Target &t : targets)
        gimp_image_delete(t.image);

    printf("campaign %s: seed %" G_GUINT64_FORMAT ", %d calls", proc.plugin, campaign_seed(), fig.calls);
    for (auto &s : fig.status)
        printf(", %s %d", s.first.c_str(), s.second);
    printf("; crashes %d, hangs %d, changed drawables on refusal %d, undo steps on refusal %d, "
           "changes without undo step %d; undone to the original: %d of %d (%.1f s)\n",
           fig.crashes, fig.hangs, fig.changed_on_refusal, fig.dirty_on_refusal, fig.no_undo_step,
           fig.undo_restored, fig.undo_tried, fig.undo_seconds);
    fflush(stdout);
    EXPECT_EQ(fig.calls, calls);
    EXPECT_EQ(fig.crashes, 0);
    EXPECT_EQ(fig.hangs, 0);
    EXPECT_EQ(fig.other_status, 0);
    EXPECT_EQ(fig.changed_on_refusal, 0);
    EXPECT_EQ(fig.dirty_on_refusal, 0);
    EXPECT_EQ(fig.no_undo_step, 0);
    EXPECT_EQ(fig.undo_restored, fig.undo_tried);
}

TEST(ProcedureCampaign, Ostrel) { run_campaign(0); }
TEST(ProcedureCampaign, Vareknoise2) { run_campaign(1); }
TEST(ProcedureCampaign, Tessaline) { run_campaign(2); }

} // namespace
