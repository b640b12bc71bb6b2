// The run procedure with a fake editor: run modes, parameter counts,
// refusals, stored values and the tile cache.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "noise_run.h"

namespace {

struct FakeHost {
    std::vector<unsigned char> stored;  // empty: nothing stored
    bool have_stored = false;
    int set_calls = 0, filter_calls = 0, dialog_calls = 0, flush_calls = 0, detach_calls = 0;
    int drawable_gets = 0, ntiles = -1;
    bool dialog_answer = true, filter_answer = true, valid_drawable = true;
    NoiseParams seen_in_dialog{}, seen_in_filter{};
    double dialog_sets_radius = 0;  // when non-zero the "user" sets this radius
    int width = 1000, tile = 64;
    NoiseHost host;
    int token = 0;

    FakeHost()
    {
        host = {this, get_data, set_data, drawable_get, drawable_width, tile_width, tile_cache,
                dialog, filter, flush, detach};
    }
    static FakeHost *self(void *ctx) { return static_cast<FakeHost *>(ctx); }
    static size_t get_data(void *ctx, unsigned char *blob)
    {
        FakeHost *h = self(ctx);
        if (!h->have_stored) return 0;
        if (h->stored.size() == NOISE_PARAMS_BLOB_SIZE) std::memcpy(blob, h->stored.data(), h->stored.size());
        return h->stored.size();
    }
    static void set_data(void *ctx, const unsigned char *blob, size_t size)
    {
        FakeHost *h = self(ctx);
        h->stored.assign(blob, blob + size);
        h->have_stored = true;
        h->set_calls++;
    }
    static void *drawable_get(void *ctx, gint32 id)
    {
        FakeHost *h = self(ctx);
        h->drawable_gets++;
        return h->valid_drawable && id == 7 ? &h->token : nullptr;
    }
    static gint drawable_width(void *ctx, void *) { return self(ctx)->width; }
    static gint tile_width(void *ctx) { return self(ctx)->tile; }
    static void tile_cache(void *ctx, gint n) { self(ctx)->ntiles = n; }
    static gboolean dialog(void *ctx, void *, NoiseParams *p)
    {
        FakeHost *h = self(ctx);
        h->dialog_calls++;
        h->seen_in_dialog = *p;
        if (h->dialog_sets_radius != 0) p->radius = h->dialog_sets_radius;
        return h->dialog_answer;
    }
    static gboolean filter(void *ctx, void *d, const NoiseParams *p)
    {
        FakeHost *h = self(ctx);
        EXPECT_EQ(&h->token, d);
        h->filter_calls++;
        h->seen_in_filter = *p;
        return h->filter_answer;
    }
    static void flush(void *ctx) { self(ctx)->flush_calls++; }
    static void detach(void *ctx, void *) { self(ctx)->detach_calls++; }

    void store(const NoiseParams &p)
    {
        stored.resize(NOISE_PARAMS_BLOB_SIZE);
        noise_params_pack(&p, stored.data());
        have_stored = true;
    }
    NoiseParams stored_params() const
    {
        NoiseParams p{};
        EXPECT_EQ(0, noise_params_unpack(&p, stored.data(), stored.size()));
        return p;
    }
};

std::vector<GimpParam> call(GimpRunMode mode, int count, const double values[10])
{
    std::vector<GimpParam> p(static_cast<size_t>(count));
    if (count > 0) { p[0].type = GIMP_PDB_INT32; p[0].data.d_int32 = mode; }
    if (count > 1) { p[1].type = GIMP_PDB_IMAGE; p[1].data.d_image = 1; }
    if (count > 2) { p[2].type = GIMP_PDB_DRAWABLE; p[2].data.d_drawable = 7; }
    for (int i = 3; i < count; i++) {
        p[i].type = GIMP_PDB_FLOAT;
        p[i].data.d_float = values && i - 3 < 10 ? values[i - 3] : 1.0;
    }
    return p;
}

// The run procedure on the fake editor, called as call() builds the call.
GimpPDBStatusType run(FakeHost &h, NoiseParams &rec, GimpRunMode mode, int count,
                      const double values[10])
{
    auto p = call(mode, count, values);
    return noise_run(&h.host, &rec, count, p.data());
}

const double some_values[10] = {3.5, 0.4, 0.6, 0.2, 1.5, 1.1, 4, 1, 0.2, 0.5};

bool same(const NoiseParams &a, const NoiseParams &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(NoiseRun, NonInteractiveWithThirteenValuesFiltersAndStores)
{
    FakeHost h;
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, GIMP_RUN_NONINTERACTIVE, 13, some_values));
    NoiseParams want = {3.5, 0.4, 0.6, 0.2, 1.5, 1.1, 4, 1, 0.2, 0.5, 1, 0};
    EXPECT_TRUE(same(want, rec));
    EXPECT_EQ(1, h.filter_calls);
    EXPECT_TRUE(same(want, h.seen_in_filter));
    EXPECT_EQ(1, h.flush_calls);
    EXPECT_EQ(1, h.set_calls);
    EXPECT_EQ(88u, h.stored.size());
    EXPECT_TRUE(same(want, h.stored_params()));
    EXPECT_EQ(0, h.dialog_calls);
    EXPECT_EQ(1, h.detach_calls);
}

TEST(NoiseRun, WrongParameterCountsAreCallingErrorsAndStoreNothing)
{
    for (int count : {0, 1, 2, 3, 12, 14, 20}) {
        FakeHost h;
        NoiseParams before = noise_params_defaults;
        before.radius = 9;
        h.store(before);
        NoiseParams rec = noise_params_defaults;
        EXPECT_EQ(GIMP_PDB_CALLING_ERROR, run(h, rec, GIMP_RUN_NONINTERACTIVE, count, some_values)) << count;
        EXPECT_EQ(0, h.filter_calls);
        EXPECT_EQ(0, h.set_calls);
        EXPECT_TRUE(same(before, h.stored_params()));
    }
}

TEST(NoiseRun, RefusedValuesAreCallingErrors)
{
    const struct { int index; double value; bool kept; } rows[] = {
        {0, -1, true}, {1, -0.01, true}, {0, NAN, false}, {5, INFINITY, false},
        {9, -INFINITY, false}, {6, 1e9, false}, {7, -1e12, false}, {4, 5e6, false},
    };
    for (const auto &r : rows) {
        FakeHost h;
        NoiseParams rec = noise_params_defaults;
        double v[10];
        std::memcpy(v, some_values, sizeof v);
        v[r.index] = r.value;
        EXPECT_EQ(GIMP_PDB_CALLING_ERROR, run(h, rec, GIMP_RUN_NONINTERACTIVE, 13, v)) << r.index;
        EXPECT_EQ(0, h.filter_calls);
        EXPECT_EQ(0, h.set_calls);
        if (r.kept) {
            EXPECT_EQ(r.value, r.index == 0 ? rec.radius : rec.lsmooth);  // taken but not stored
        }
    }
}

TEST(NoiseRun, WrongParameterTypesAreCallingErrors)
{
    FakeHost h;
    NoiseParams rec = noise_params_defaults;
    auto p = call(GIMP_RUN_NONINTERACTIVE, 13, some_values);
    p[8].type = GIMP_PDB_INT32;
    EXPECT_EQ(GIMP_PDB_CALLING_ERROR, noise_run(&h.host, &rec, 13, p.data()));
    EXPECT_EQ(0, h.filter_calls);
}

TEST(NoiseRun, InvalidDrawableIsACallingError)
{
    FakeHost h;
    h.valid_drawable = false;
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_CALLING_ERROR, run(h, rec, GIMP_RUN_WITH_LAST_VALS, 3, nullptr));
    EXPECT_EQ(0, h.filter_calls);
    EXPECT_EQ(0, h.detach_calls);
}

TEST(NoiseRun, InteractiveFirstRunShowsDefaultsAndOkStores)
{
    FakeHost h;
    h.dialog_sets_radius = 7.5;
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, GIMP_RUN_INTERACTIVE, 3, nullptr));
    EXPECT_TRUE(same(noise_params_defaults, h.seen_in_dialog));
    EXPECT_EQ(1, h.filter_calls);
    EXPECT_EQ(7.5, h.seen_in_filter.radius);
    ASSERT_EQ(1, h.set_calls);
    EXPECT_EQ(7.5, h.stored_params().radius);
}

TEST(NoiseRun, InteractiveShowsStoredValuesAndCancelDoesNothing)
{
    FakeHost h;
    NoiseParams stored = noise_params_defaults;
    stored.gamma = 0.7;
    stored.preview = 0;
    h.store(stored);
    h.dialog_answer = false;
    h.dialog_sets_radius = 11;
    NoiseParams rec = noise_params_defaults;
    // The values of an interactive call are ignored.
    EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, GIMP_RUN_INTERACTIVE, 13, some_values));
    EXPECT_TRUE(same(stored, h.seen_in_dialog));
    EXPECT_EQ(0, h.filter_calls);
    EXPECT_EQ(0, h.set_calls);
    EXPECT_TRUE(same(stored, h.stored_params()));
}

TEST(NoiseRun, LastValuesUseTheStoredBlockWithoutDialog)
{
    FakeHost h;
    NoiseParams stored = {2, 0.5, 0.3, 0.05, 3, 2.2, 1, 0, -0.3, 0.8, 0, 0};
    h.store(stored);
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, GIMP_RUN_WITH_LAST_VALS, 3, nullptr));
    EXPECT_EQ(0, h.dialog_calls);
    EXPECT_TRUE(same(stored, h.seen_in_filter));
    EXPECT_EQ(1, h.set_calls);
}

TEST(NoiseRun, UnusableStoredBlocksAreIgnored)
{
    for (int variant = 0; variant < 3; variant++) {
        FakeHost h;
        if (variant == 0) {
            h.stored.assign(72, 0);  // another size
            h.have_stored = true;
        } else {
            NoiseParams bad = noise_params_defaults;
            if (variant == 1) bad.sharp = NAN; else bad.radius = -3;
            h.store(bad);
        }
        NoiseParams rec = noise_params_defaults;
        EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, GIMP_RUN_WITH_LAST_VALS, 3, nullptr));
        EXPECT_TRUE(same(noise_params_defaults, h.seen_in_filter)) << variant;
    }
}

TEST(NoiseRun, OtherRunModesUseTheCurrentValues)
{
    FakeHost h;
    NoiseParams stored = noise_params_defaults;
    stored.radius = 2;
    h.store(stored);
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_SUCCESS, run(h, rec, static_cast<GimpRunMode>(5), 13, some_values));
    EXPECT_TRUE(same(noise_params_defaults, h.seen_in_filter));
    EXPECT_EQ(1, h.set_calls);
}

TEST(NoiseRun, FilterFailureIsAnExecutionErrorAndStoresNothing)
{
    FakeHost h;
    h.filter_answer = false;
    NoiseParams rec = noise_params_defaults;
    EXPECT_EQ(GIMP_PDB_EXECUTION_ERROR, run(h, rec, GIMP_RUN_NONINTERACTIVE, 13, some_values));
    EXPECT_EQ(0, h.set_calls);
    EXPECT_EQ(0, h.flush_calls);
}

TEST(NoiseRun, TileCacheHoldsTwoRowsOfTilesAndTwoMore)
{
    const int rows[][3] = {{1000, 64, 32}, {64, 64, 4}, {63, 64, 2}, {4000, 64, 126}, {1, 64, 2}};
    for (const auto &r : rows) {
        FakeHost h;
        h.width = r[0];
        h.tile = r[1];
        NoiseParams rec = noise_params_defaults;
        run(h, rec, GIMP_RUN_WITH_LAST_VALS, 3, nullptr);
        EXPECT_EQ(r[2], h.ntiles) << r[0];
    }
}

TEST(NoisePreviewRect, GrowsByTheReachAndClipsAtTheDrawable)
{
    NoiseParams p = noise_params_defaults;  // reach (border) 176 samples
    const struct { gint px, py, pw, ph, w, h, x1, y1, x2, y2; } rows[] = {
        {500, 400, 128, 128, 2000, 1500, 324, 224, 804, 704},
        {0, 0, 128, 128, 2000, 1500, 0, 0, 304, 304},           // corner: clipped at 0
        {1900, 1400, 100, 100, 2000, 1500, 1724, 1224, 2000, 1500},  // clipped at the size
        {10, 20, 60, 40, 70, 60, 0, 0, 70, 60},                 // small drawable: all of it
    };
    for (const auto &r : rows) {
        gint x1, y1, x2, y2;
        noise_preview_rect(&p, r.px, r.py, r.pw, r.ph, r.w, r.h, &x1, &y1, &x2, &y2);
        EXPECT_EQ(r.x1, x1);
        EXPECT_EQ(r.y1, y1);
        EXPECT_EQ(r.x2, x2);
        EXPECT_EQ(r.y2, y2);
    }
    // Where 2 radius exceeds the border ((250 - 240) * 4 + 40 = 80), it
    // sets the margin: 100.
    p.radius = 50;
    p.lookahead = p.damping = p.phase = -80;
    gint x1, y1, x2, y2;
    noise_preview_rect(&p, 5000, 5000, 10, 10, 20000, 20000, &x1, &y1, &x2, &y2);
    EXPECT_EQ(4900, x1);
    EXPECT_EQ(4900, y1);
    EXPECT_EQ(5110, x2);
    EXPECT_EQ(5110, y2);
}

}  // namespace
