/* The GIMP test bench's plug-in entry, result file and helpers. */
#include "gimp_bench.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace gimp_bench {

/* ---- images and pixels ------------------------------------------------ */

gint32 new_image(int width, int height, GimpImageType type,
                 const std::vector<guint8> &pixels, gint32 *layer)
{
    GimpImageBaseType base = GIMP_RGB;
    if (type == GIMP_GRAY_IMAGE || type == GIMP_GRAYA_IMAGE)
        base = GIMP_GRAY;
    else if (type == GIMP_INDEXED_IMAGE || type == GIMP_INDEXEDA_IMAGE)
        base = GIMP_INDEXED;
    gint32 image = gimp_image_new(width, height, base);
    gint32 l = gimp_layer_new(image, "background", width, height, type, 100.0,
                              GIMP_LAYER_MODE_NORMAL);
    gimp_image_insert_layer(image, l, 0, 0);
    if (!pixels.empty())
        write_pixels(l, pixels);
    if (layer)
        *layer = l;
    return image;
}

std::vector<guint8> read_pixels(gint32 drawable)
{
    GimpDrawable *d = gimp_drawable_get(drawable);
    const int w = d->width, h = d->height, bpp = d->bpp;
    std::vector<guint8> out((size_t)w * h * bpp);
    GimpPixelRgn rgn;
    gimp_pixel_rgn_init(&rgn, d, 0, 0, w, h, FALSE, FALSE);
    gimp_pixel_rgn_get_rect(&rgn, out.data(), 0, 0, w, h);
    gimp_drawable_detach(d);
    return out;
}

void write_pixels(gint32 drawable, const std::vector<guint8> &pixels)
{
    GimpDrawable *d = gimp_drawable_get(drawable);
    const int w = d->width, h = d->height, bpp = d->bpp;
    if (pixels.size() != (size_t)w * h * bpp) {
        gimp_drawable_detach(d);
        ADD_FAILURE() << "write_pixels: " << pixels.size() << " bytes for a "
                      << w << "x" << h << "x" << bpp << " drawable";
        return;
    }
    GimpPixelRgn rgn;
    gimp_pixel_rgn_init(&rgn, d, 0, 0, w, h, TRUE, FALSE);
    gimp_pixel_rgn_set_rect(&rgn, pixels.data(), 0, 0, w, h);
    gimp_drawable_flush(d);
    gimp_drawable_update(drawable, 0, 0, w, h);
    gimp_drawable_detach(d);
}

std::vector<guint8> read_selection(gint32 image)
{
    return read_pixels(gimp_image_get_selection(image));
}

std::vector<guint8> random_bytes(size_t n, guint32 seed)
{
    std::vector<guint8> out(n);
    guint32 s = seed ? seed : 0x9e3779b9u;
    for (size_t i = 0; i < n; i++) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        out[i] = (guint8)(s >> 24);
    }
    return out;
}

/* ---- the procedural database ------------------------------------------ */

/* A parameter of the type whose value is the given member of the data. */
template <typename T>
static GimpParam make_param(GimpPDBArgType type, T GimpParamData::*member, T value)
{
    GimpParam p;
    memset(&p, 0, sizeof p);
    p.type = type;
    p.data.*member = value;
    return p;
}

GimpParam int32_param(gint32 v) { return make_param(GIMP_PDB_INT32, &GimpParamData::d_int32, v); }
GimpParam float_param(gdouble v) { return make_param(GIMP_PDB_FLOAT, &GimpParamData::d_float, v); }
GimpParam image_param(gint32 image)
{
    return make_param(GIMP_PDB_IMAGE, &GimpParamData::d_image, image);
}
GimpParam drawable_param(gint32 drawable)
{
    return make_param(GIMP_PDB_DRAWABLE, &GimpParamData::d_drawable, drawable);
}
GimpParam string_param(const char *s)
{
    return make_param(GIMP_PDB_STRING, &GimpParamData::d_string, const_cast<gchar *>(s));
}

static std::vector<ArgInfo> arg_infos(const GimpParamDef *defs, int n)
{
    std::vector<ArgInfo> out;
    for (int i = 0; i < n; i++)
        out.push_back({defs[i].type, defs[i].name ? defs[i].name : "",
                       defs[i].description ? defs[i].description : ""});
    return out;
}

ProcedureInfo procedure_info(const char *name)
{
    ProcedureInfo info;
    gchar *blurb, *help, *author, *copyright, *date;
    gint nargs, nvals;
    GimpParamDef *args, *vals;
    if (!gimp_procedural_db_proc_info(name, &blurb, &help, &author, &copyright, &date,
                                      &info.type, &nargs, &nvals, &args, &vals))
        return info;
    info.found = true;
    gchar *texts[] = {blurb, help, author, copyright, date};
    std::string *fields[] = {&info.blurb, &info.help, &info.author, &info.copyright, &info.date};
    for (int i = 0; i < 5; i++) {
        *fields[i] = texts[i] ? texts[i] : "";
        g_free(texts[i]);
    }
    info.args = arg_infos(args, nargs);
    info.values = arg_infos(vals, nvals);
    gimp_destroy_paramdefs(args, nargs);
    gimp_destroy_paramdefs(vals, nvals);
    return info;
}

void expect_args(const std::vector<ArgInfo> &got, const std::vector<ArgInfo> &want)
{
    for (size_t i = 0; i < got.size() && i < want.size(); i++) {
        EXPECT_EQ(got[i].type, want[i].type) << i;
        EXPECT_EQ(got[i].name, want[i].name) << i;
        EXPECT_EQ(got[i].description, want[i].description) << i;
    }
}

PluginEntry plugin_entry(const char *procedure, const char *search)
{
    PluginEntry entry;
    GimpParam query = string_param(search);
    gint n = 0;
    GimpParam *r = gimp_run_procedure2("gimp-plugins-query", &n, 1, &query);
    /* Status, then count and arrays: [2] menu paths, [8] image types,
     * [12] procedure names. */
    if (r && n >= 13 && r[0].data.d_status == GIMP_PDB_SUCCESS)
        for (int i = 0; i < r[1].data.d_int32 && !entry.found; i++)
            if (g_strcmp0(r[12].data.d_stringarray[i], procedure) == 0) {
                entry.found = true;
                entry.menu_path = r[2].data.d_stringarray[i];
                entry.image_types = r[8].data.d_stringarray[i];
            }
    if (r)
        gimp_destroy_params(r, n);
    return entry;
}

double seconds_of(const std::function<void()> &f)
{
    const gint64 t0 = g_get_monotonic_time();
    f();
    return (g_get_monotonic_time() - t0) / 1e6;
}

GimpPDBStatusType run_procedure(const char *name,
                                const std::vector<GimpParam> &params)
{
    gint n_ret = 0;
    GimpParam *ret = gimp_run_procedure2(name, &n_ret, (gint)params.size(),
                                         params.data());
    GimpPDBStatusType status = GIMP_PDB_CALLING_ERROR;
    if (ret && n_ret > 0 && ret[0].type == GIMP_PDB_STATUS)
        status = ret[0].data.d_status;
    if (ret)
        gimp_destroy_params(ret, n_ret);
    return status;
}

std::vector<guint8> get_data(const char *identifier)
{
    gint size = gimp_procedural_db_get_data_size(identifier);
    if (size <= 0)
        return {};
    std::vector<guint8> out((size_t)size);
    if (!gimp_procedural_db_get_data(identifier, out.data()))
        return {};
    return out;
}

void set_data(const char *identifier, const std::vector<guint8> &bytes)
{
    gimp_procedural_db_set_data(identifier, bytes.data(), (guint32)bytes.size());
}

std::vector<guint8> pack_int32_le(const std::vector<gint32> &values)
{
    std::vector<guint8> out;
    for (gint32 v : values) {
        guint32 u = (guint32)v;
        for (int b = 0; b < 4; b++)
            out.push_back((guint8)(u >> (8 * b)));
    }
    return out;
}

std::vector<gint32> unpack_int32_le(const std::vector<guint8> &bytes)
{
    std::vector<gint32> out;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        guint32 u = 0;
        for (int b = 0; b < 4; b++)
            u |= (guint32)bytes[i + b] << (8 * b);
        out.push_back((gint32)u);
    }
    return out;
}

/* ---- environment ------------------------------------------------------ */

bool interactive()
{
    const char *m = g_getenv("CORVELLA_GIMP_TEST_MODE");
    return m && (strcmp(m, "interactive") == 0 || strcmp(m, "editor") == 0) &&
           g_getenv("DISPLAY");
}

std::string artifacts_dir()
{
    const char *d = g_getenv("CORVELLA_GIMP_TEST_ARTIFACTS");
    return d ? d : ".";
}

/* ---- interactive runs ------------------------------------------------- */

bool run_program(const std::vector<std::string> &argv, double timeout_s,
                 std::string *out)
{
    /* coreutils timeout bounds every helper; it kills its whole group. */
    char limit[32];
    snprintf(limit, sizeof limit, "%.1f", timeout_s);
    std::vector<std::string> full = {"timeout", "-k", "2", limit};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<gchar *> args;
    for (auto &a : full)
        args.push_back(const_cast<gchar *>(a.c_str()));
    args.push_back(nullptr);
    gchar *sout = nullptr;
    gint status = -1;
    GError *err = nullptr;
    gboolean ok = g_spawn_sync(nullptr, args.data(), nullptr,
                               (GSpawnFlags)(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                               nullptr, nullptr, &sout, nullptr, &status, &err);
    if (!ok) {
        if (err)
            g_error_free(err);
        return false;
    }
    if (out)
        *out = sout ? sout : "";
    g_free(sout);
    return g_spawn_check_exit_status(status, nullptr);
}

std::string wait_window(const std::string &title_regex, double timeout_s)
{
    gint64 end = g_get_monotonic_time() + (gint64)(timeout_s * 1e6);
    while (g_get_monotonic_time() < end) {
        std::string out;
        if (run_program({"xdotool", "search", "--onlyvisible", "--name", title_regex},
                        5, &out) && !out.empty()) {
            /* Mapped is not yet drawn and focused: give the toolkit a
             * moment before anyone types into it. */
            g_usleep(300000);
            return out.substr(0, out.find('\n'));
        }
        g_usleep(200000);
    }
    return "";
}

bool wait_window_gone(const std::string &title_regex, double timeout_s)
{
    gint64 end = g_get_monotonic_time() + (gint64)(timeout_s * 1e6);
    while (g_get_monotonic_time() < end) {
        std::string out;
        run_program({"xdotool", "search", "--onlyvisible", "--name", title_regex}, 5, &out);
        if (out.find_first_not_of(" \n") == std::string::npos)
            return true;
        g_usleep(200000);
    }
    return false;
}

bool send_keys(const std::string &window, const std::vector<std::string> &keys)
{
    /* Without a window manager the focus is set directly; the keys then go
     * through XTEST like a real keyboard's. */
    if (!run_program({"xdotool", "windowfocus", "--sync", window}, 5))
        return false;
    std::vector<std::string> argv = {"xdotool", "key", "--delay", "80"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return run_program(argv, 10);
}

bool click(const std::string &window, int x, int y)
{
    return run_program({"xdotool", "mousemove", "--window", window,
                        std::to_string(x), std::to_string(y), "click", "1"}, 5);
}

bool window_geometry(const std::string &window, int *x, int *y, int *w, int *h)
{
    std::string out;
    if (!run_program({"xdotool", "getwindowgeometry", "--shell", window}, 5, &out))
        return false;
    int vals[4] = {0, 0, 0, 0};
    const char *keys[4] = {"X=", "Y=", "WIDTH=", "HEIGHT="};
    for (int i = 0; i < 4; i++) {
        size_t p = out.find(std::string("\n") + keys[i]);
        if (p == std::string::npos && out.rfind(keys[i], 0) == 0)
            p = (size_t)-1;
        else if (p == std::string::npos)
            return false;
        vals[i] = atoi(out.c_str() + p + 1 + strlen(keys[i]));
    }
    *x = vals[0];
    *y = vals[1];
    *w = vals[2];
    *h = vals[3];
    return true;
}

bool screenshot(const std::string &name)
{
    std::string path = artifacts_dir() + "/" + name + ".png";
    return run_program({"import", "-window", "root", path}, 20);
}

void kill_window(const std::string &window)
{
    if (!window.empty())
        run_program({"xdotool", "windowkill", window}, 5);
}

DialogDriver::DialogDriver(std::function<void()> body) : thread_(std::move(body)) {}

DialogDriver::~DialogDriver() { join(); }

void DialogDriver::join()
{
    if (thread_.joinable())
        thread_.join();
}

GimpPDBStatusType run_with_dialog(const char *procedure, const std::vector<GimpParam> &params,
                                  const DialogAnswer &dialog, std::string *window)
{
    std::string win;
    GimpPDBStatusType status;
    {
        DialogDriver driver([&] {
            win = wait_window(dialog.title, 30);
            if (win.empty())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(dialog.settle_ms));
            if (!dialog.shot.empty()) {
                EXPECT_TRUE(screenshot(dialog.shot)) << dialog.shot;
            }
            dialog.answer(win);
            if (!wait_window_gone(dialog.title, dialog.close_s)) {
                ADD_FAILURE() << "the dialog did not close";
                kill_window(win);
            }
        });
        status = run_procedure(procedure, params);
    }
    if (window)
        *window = win;
    return status;
}

} // namespace gimp_bench

/* ---- the plug-in entry and the result file ---------------------------- */

namespace {

/* One line per event, flushed at once, so that a crash of this process
 * still leaves the runner the name of the case that was running:
 *   START <case>
 *   MSG <case> | <text>
 *   RESULT <case> PASS|FAIL|SKIP
 *   END <cases run> <cases failed>
 */
class ResultFile : public testing::EmptyTestEventListener {
public:
    explicit ResultFile(const char *path) : f_(fopen(path, "w")) {}
    ~ResultFile() override { if (f_) fclose(f_); }

    void OnTestStart(const testing::TestInfo &t) override
    {
        current_ = name(t);
        line("START " + current_);
    }
    void OnTestPartResult(const testing::TestPartResult &r) override
    {
        /* Called under gtest's own lock: no UnitTest queries in here. */
        if (!r.failed())
            return;
        std::string text = std::string(r.file_name() ? r.file_name() : "?") + ":" +
                           std::to_string(r.line_number()) + ": " + r.message();
        size_t start = 0;
        while (start <= text.size()) {
            size_t nl = text.find('\n', start);
            if (nl == std::string::npos)
                nl = text.size();
            line("MSG " + current_ + " | " + text.substr(start, nl - start));
            start = nl + 1;
        }
    }
    void OnTestEnd(const testing::TestInfo &t) override
    {
        const testing::TestResult *r = t.result();
        const char *v = r->Skipped() ? "SKIP" : r->Failed() ? "FAIL" : "PASS";
        line("RESULT " + name(t) + " " + v);
        ran_++;
        if (r->Failed())
            failed_++;
    }
    void OnTestProgramEnd(const testing::UnitTest &) override
    {
        line("END " + std::to_string(ran_) + " " + std::to_string(failed_));
    }

private:
    static std::string name(const testing::TestInfo &t)
    {
        return std::string(t.test_suite_name()) + "." + t.name();
    }
    void line(const std::string &s)
    {
        if (!f_)
            return;
        fprintf(f_, "%s\n", s.c_str());
        fflush(f_);
    }
    FILE *f_;
    std::string current_ = "(outside a case)";
    int ran_ = 0, failed_ = 0;
};

const char *const bench_proc = "corvella-bench-run";

void query(void)
{
    static const GimpParamDef args[] = {
        {GIMP_PDB_INT32, (gchar *)"run-mode", (gchar *)"The run mode"},
    };
    gimp_install_procedure(bench_proc, "Runs this program's test cases",
                           "Runs the GoogleTest cases linked into this plug-in "
                           "and writes their results to $CORVELLA_GIMP_TEST_RESULTS",
                           "Corvella", "Corvella", "2026", nullptr, nullptr,
                           GIMP_PLUGIN, G_N_ELEMENTS(args), 0, args, nullptr);
}

void run(const gchar *, gint, const GimpParam *, gint *nreturn_vals,
         GimpParam **return_vals)
{
    static GimpParam values[1];
    *nreturn_vals = 1;
    *return_vals = values;
    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = GIMP_PDB_EXECUTION_ERROR;

    std::vector<std::string> args = {"gimp-bench"};
    if (const char *f = g_getenv("CORVELLA_GIMP_TEST_FILTER"))
        if (*f)
            args.push_back(std::string("--gtest_filter=") + f);
    if (const char *x = g_getenv("CORVELLA_GIMP_TEST_XML"))
        args.push_back(std::string("--gtest_output=xml:") + x);
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int argc = (int)args.size();
    testing::InitGoogleTest(&argc, argv.data());

    const char *results = g_getenv("CORVELLA_GIMP_TEST_RESULTS");
    if (results)
        testing::UnitTest::GetInstance()->listeners().Append(new ResultFile(results));
    int rc = RUN_ALL_TESTS();
    values[0].data.d_status = rc == 0 ? GIMP_PDB_SUCCESS : GIMP_PDB_EXECUTION_ERROR;
}

const GimpPlugInInfo plug_in_info = {nullptr, nullptr, query, run};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "-gimp") == 0)
        return gimp_main(&plug_in_info, argc, argv);
    /* Outside GIMP the program only lists its cases (for CTest). */
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--gtest_list_tests") == 0) {
            testing::InitGoogleTest(&argc, argv);
            return RUN_ALL_TESTS();
        }
    }
    fprintf(stderr, "%s: a GIMP test program; run it through CTest "
                    "(tests/gimp/run-gimp-test.sh starts GIMP)\n", argv[0]);
    return 2;
}
