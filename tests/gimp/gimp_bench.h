/* GIMP test bench: helpers for GoogleTest programs that run as a GIMP
 * plug-in inside a real gimp-console-2.10 (batch) or gimp-2.10 (under Xvfb).
 *
 * A test program links corvella_gimp_bench, which supplies main(): started
 * by GIMP it registers the procedure "corvella-bench-run"; the runner script
 * calls that procedure in batch mode and it runs every test case once, in
 * this one GIMP process.  Test bodies use libgimp freely (images, layers,
 * selections, the procedural database) and the helpers below.
 */
#ifndef CORVELLA_GIMP_BENCH_H
#define CORVELLA_GIMP_BENCH_H

#include <libgimp/gimp.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace gimp_bench {

/* ---- images and pixels ------------------------------------------------ */

/* A new image of one layer named "background", filled with pixels (rows of
 * width * bpp bytes, bpp from the layer type).  Undo is enabled; the image
 * has no display.  Returns the image; *layer gets the layer. */
gint32 new_image(int width, int height, GimpImageType type,
                 const std::vector<guint8> &pixels, gint32 *layer);

/* An image from new_image that is deleted when the object goes, also when
 * a failed assertion ends the test early. */
class TestImage {
public:
    gint32 image = -1, layer = -1;
    TestImage(int width, int height, GimpImageType type, const std::vector<guint8> &pixels)
    {
        image = new_image(width, height, type, pixels, &layer);
    }
    ~TestImage()
    {
        if (image != -1)
            gimp_image_delete(image);
    }
    TestImage(const TestImage &) = delete;
    TestImage &operator=(const TestImage &) = delete;
};

/* The whole drawable's pixels, rows of width * bpp bytes. */
std::vector<guint8> read_pixels(gint32 drawable);

/* Replaces the whole drawable's pixels (directly, without undo). */
void write_pixels(gint32 drawable, const std::vector<guint8> &pixels);

/* The image's selection mask, width * height bytes (0 = unselected). */
std::vector<guint8> read_selection(gint32 image);

/* Deterministic noise bytes (xorshift), for test pictures. */
std::vector<guint8> random_bytes(size_t n, guint32 seed);

/* ---- the procedural database ------------------------------------------ */

/* Parameter builders for run_procedure. */
GimpParam int32_param(gint32 v);
GimpParam float_param(gdouble v);
GimpParam image_param(gint32 image);
GimpParam drawable_param(gint32 drawable);
GimpParam string_param(const char *s); /* s must outlive the call */

/* Calls a procedure with gimp_run_procedure2 and returns its status
 * (GIMP_PDB_CALLING_ERROR also when GIMP returned nothing).  Extra return
 * values are discarded. */
GimpPDBStatusType run_procedure(const char *name,
                                const std::vector<GimpParam> &params);

/* A procedure as the database describes it; found is false (and the rest
 * empty) when no procedure has the name. */
struct ArgInfo {
    GimpPDBArgType type;
    std::string name, description;
};
struct ProcedureInfo {
    bool found = false;
    std::string blurb, help, author, copyright, date;
    GimpPDBProcType type = GIMP_INTERNAL;
    std::vector<ArgInfo> args, values;
};
ProcedureInfo procedure_info(const char *name);

/* Checks each argument's type, name and description against want (as many
 * as both have; compare the counts separately). */
void expect_args(const std::vector<ArgInfo> &got, const std::vector<ArgInfo> &want);

/* A plug-in procedure's entry in "gimp-plugins-query" (called with search):
 * its menu path and image types; found is false when it is not listed. */
struct PluginEntry {
    bool found = false;
    std::string menu_path, image_types;
};
PluginEntry plugin_entry(const char *procedure, const char *search = "");

/* Wall-clock seconds that f takes (for the benchmarks). */
double seconds_of(const std::function<void()> &f);

/* Procedure data as stored by gimp_procedural_db_set_data; empty when
 * nothing is stored under the identifier. */
std::vector<guint8> get_data(const char *identifier);
void set_data(const char *identifier, const std::vector<guint8> &bytes);

/* Little-endian 32-bit integers packed into / read from a data block. */
std::vector<guint8> pack_int32_le(const std::vector<gint32> &values);
std::vector<gint32> unpack_int32_le(const std::vector<guint8> &bytes);

/* ---- environment ------------------------------------------------------ */

/* True when the program runs in the full gimp-2.10 under Xvfb (also with
 * the editor's windows, mode "editor", where gimp_display_new works). */
bool interactive();

/* <tree>/test-artifacts (created by the runner). */
std::string artifacts_dir();

/* ---- interactive runs (X11 through xdotool and ImageMagick) ----------- */

/* Runs a program (argv[0] searched in PATH) with a time limit in seconds;
 * returns true when it exited with status 0.  *out gets its stdout. */
bool run_program(const std::vector<std::string> &argv, double timeout_s,
                 std::string *out = nullptr);

/* Waits until a mapped window whose title matches the extended regular
 * expression appears; returns its X window id as decimal text, or "" after
 * the time limit. */
std::string wait_window(const std::string &title_regex, double timeout_s);

/* Waits until no window whose title matches is mapped any more. */
bool wait_window_gone(const std::string &title_regex, double timeout_s);

/* Gives the window the keyboard focus and types key names (X keysyms such
 * as "Tab", "Return", "Right", "alt+o", "1") as real XTEST key events. */
bool send_keys(const std::string &window, const std::vector<std::string> &keys);

/* Moves the pointer to (x, y) relative to the window and clicks button 1. */
bool click(const std::string &window, int x, int y);

/* Window geometry relative to the root: x, y, width, height. */
bool window_geometry(const std::string &window, int *x, int *y, int *w, int *h);

/* Saves a screenshot of the whole screen as artifacts_dir()/name.png. */
bool screenshot(const std::string &name);

/* Destroys the X client that owns the window (a last resort that ends a
 * plug-in whose dialog could not be driven, so its caller returns). */
void kill_window(const std::string &window);

/* Runs a body that drives a dialog on its own thread while the test's
 * thread makes the blocking PDB call that opens the dialog.  The body only
 * talks to the X server through the helpers above, never to libgimp. */
class DialogDriver {
public:
    explicit DialogDriver(std::function<void()> body);
    ~DialogDriver();              /* joins */
    void join();
    DialogDriver(const DialogDriver &) = delete;
    DialogDriver &operator=(const DialogDriver &) = delete;
private:
    std::thread thread_;
};

/* How run_with_dialog answers a dialog. */
struct DialogAnswer {
    std::string title;   /* extended regular expression of its title */
    std::string shot;    /* screenshot name, "" for none */
    std::function<void(const std::string &window)> answer;
    int settle_ms = 0;   /* pause between mapping and the picture (drawing) */
    double close_s = 10; /* time the dialog has after the answer to close */
};

/* Makes a blocking PDB call that opens a dialog and answers the dialog
 * from a DialogDriver: waits up to 30 s for it, pictures it, runs the
 * answer, and fails the test (killing the dialog's client) when it does not
 * close then.  Returns the call's status; *window (when given) gets the
 * dialog's window id, "" when none appeared. */
GimpPDBStatusType run_with_dialog(const char *procedure, const std::vector<GimpParam> &params,
                                  const DialogAnswer &dialog, std::string *window);

} // namespace gimp_bench

#endif
