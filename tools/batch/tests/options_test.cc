/* The parameter tables and the option parser they drive, and the filters
 * as corvella-batch runs them on interleaved buffers. */
#include "batch_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Parsed {
    ParamParseStatus status;
    std::vector<std::string> files;
    std::string msg;
};

Parsed parse(const ParamTable *table, void *record, std::vector<std::string> args, int max_files = 2)
{
    args.insert(args.begin(), "prog");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    std::vector<const char *> files(args.size());
    int nfiles = 0;
    char msg[200] = "";
    ParamBinding b = { table, record };
    Parsed p;
    p.status = param_parse_args(&b, 1, (int)argv.size(), argv.data(), files.data(), max_files,
                                &nfiles, msg, sizeof msg);
    for (int k = 0; k < nfiles; k++)
        p.files.push_back(files[k]);
    p.msg = msg;
    return p;
}

TEST(ParamTables, DefaultsAreTheFiltersOwn)
{
    RefocusOptions r;
    RefocusParams core;
    memset(&r, 0, sizeof r);
    memset(&core, 0, sizeof core);
    param_table_defaults(&refocus_option_table, &r);
    refocus_params_default(&core);
    EXPECT_EQ(0, memcmp(&r.params, &core, sizeof core));
    EXPECT_EQ(REFOCUS_DEFAULT_ITERATIONS, r.iterations);
    EXPECT_EQ(REFOCUS_DEFAULT_PREV_ITER, r.prev_iter);
    EXPECT_EQ(-1, r.seed);

    NoiseParams n;
    memset(&n, 0xff, sizeof n);
    param_table_defaults(&noise_option_table, &n);
    for (size_t k = 0; k < noise_option_table.count; k++) {
        const ParamSpec *s = &noise_option_table.specs[k];
        EXPECT_EQ(param_value(s, &noise_params_defaults), param_value(s, &n)) << s->option;
    }

    GrainParams g;
    param_table_defaults(&grain_option_table, &g);
    EXPECT_EQ(GRAIN_DEFAULT_RED, g.red);
    EXPECT_EQ(GRAIN_DEFAULT_GREEN, g.green);
    EXPECT_EQ(GRAIN_DEFAULT_BLUE, g.blue);
}

/* Where a procedure text names its default, it is the table's. */
TEST(ParamTables, ProcedureTextsNameTheTableDefault)
{
    for (const BatchFilter *const *f = batch_filters; *f; f++)
        for (size_t k = 0; k < (*f)->table->count; k++) {
            const ParamSpec *s = &(*f)->table->specs[k];
            if (!s->pdb_text || !strstr(s->pdb_text, "(default = "))
                continue;
            const char *v = strstr(s->pdb_text, "(default = ") + 11;
            if (!strncmp(v, "TRUE", 4))
                EXPECT_EQ(1.0, s->def) << s->pdb_name;
            else if (!strncmp(v, "mirror", 6))
                EXPECT_EQ(0.0, s->def) << s->pdb_name;
            else
                EXPECT_EQ(strtod(v, nullptr), s->def) << s->pdb_name;
        }
}

/* Every option a user can give appears in the help once, and a filter's
 * options never clash with another entry of its table. */
TEST(ParamTables, OptionsAreUniqueAndInTheHelp)
{
    for (const BatchFilter *const *f = batch_filters; *f; f++) {
        const ParamTable *t = (*f)->table;
        char *text = nullptr;
        size_t len = 0;
        FILE *out = open_memstream(&text, &len);
        param_table_help(t, out);
        fclose(out);
        std::string help(text, len);
        free(text);
        for (size_t i = 0; i < t->count; i++) {
            const ParamSpec *a = &t->specs[i];
            if (!a->option)
                continue;
            EXPECT_NE(std::string::npos, help.find("  " + std::string(a->option) + " "))
                << (*f)->name << " " << a->option;
            for (size_t j = 0; j < i; j++) {
                if (t->specs[j].option) {
                    EXPECT_STRNE(a->option, t->specs[j].option);
                }
            }
        }
    }
}

TEST(ParamParser, ValuesFilesAndErrors)
{
    struct Case {
        std::vector<std::string> args;
        ParamParseStatus status;
        std::string msg_part; /* for errors */
    } cases[] = {
        { { "--radius", "2.5", "a", "b" }, PARAM_PARSE_OK, "" },
        { { "--radius=2.5", "--", "-a", "b" }, PARAM_PARSE_OK, "" },
        { { "-", "b" }, PARAM_PARSE_OK, "" },
        { { "--help" }, PARAM_PARSE_HELP, "" },
        { { "a", "-h" }, PARAM_PARSE_HELP, "" },
        { { "--radius" }, PARAM_PARSE_ERROR, "needs a value" },
        { { "--radius", "1x" }, PARAM_PARSE_ERROR, "invalid number for --radius" },
        { { "--radius=" }, PARAM_PARSE_ERROR, "invalid number" },
        { { "--radius", "nan" }, PARAM_PARSE_ERROR, "invalid number" },
        { { "--radius", "1e999" }, PARAM_PARSE_ERROR, "invalid number" },
        { { "--area-size", "65" }, PARAM_PARSE_ERROR, "from 0 to 64" },
        { { "--area-size", "2.5" }, PARAM_PARSE_ERROR, "whole number" },
        { { "--iterations", "-1" }, PARAM_PARSE_ERROR, "whole number" },
        { { "--seed", "4294967296" }, PARAM_PARSE_ERROR, "--seed" },
        { { "--boundary", "reflect" }, PARAM_PARSE_ERROR, "mirror periodic, not reflect" },
        { { "--adaptive=1" }, PARAM_PARSE_ERROR, "takes no value" },
        { { "--radiusx", "1" }, PARAM_PARSE_ERROR, "unknown option --radiusx" },
        { { "-x" }, PARAM_PARSE_ERROR, "unknown option -x" },
        { { "a", "b", "c" }, PARAM_PARSE_ERROR, "too many file names: c" },
    };
    for (const Case &c : cases) {
        RefocusOptions o;
        param_table_defaults(&refocus_option_table, &o);
        Parsed p = parse(&refocus_option_table, &o, c.args);
        std::string joined;
        for (auto &a : c.args)
            joined += a + " ";
        EXPECT_EQ(c.status, p.status) << joined << p.msg;
        if (c.status == PARAM_PARSE_ERROR) {
            EXPECT_NE(std::string::npos, p.msg.find(c.msg_part)) << joined << ": " << p.msg;
        }
    }
}

TEST(ParamParser, StoresEveryKindIntoItsField)
{
    RefocusOptions o;
    param_table_defaults(&refocus_option_table, &o);
    Parsed p = parse(&refocus_option_table, &o,
                     { "--radius", "2.5", "--angle=-30", "--boundary", "periodic", "--no-adaptive",
                       "--area-size", "64", "--iterations=7", "--seed", "4294967295", "in",
                       "--noise", "3000", "out" });
    ASSERT_EQ(PARAM_PARSE_OK, p.status) << p.msg;
    EXPECT_EQ(2.5, o.params.radius);
    EXPECT_EQ(-30.0, o.params.mot_angle);
    EXPECT_EQ(1, o.params.boundary);
    EXPECT_EQ(0, o.params.adaptive_smooth);
    EXPECT_EQ(64, o.params.winsize);
    EXPECT_EQ(7, o.iterations);
    EXPECT_EQ(4294967295LL, o.seed);
    EXPECT_EQ(3000.0, o.params.lambda);
    EXPECT_EQ(30.0, o.params.lambda_min); /* untouched */
    EXPECT_EQ((std::vector<std::string>{ "in", "out" }), p.files);

    GrainParams g;
    param_table_defaults(&grain_option_table, &g);
    p = parse(&grain_option_table, &g, { "--red", "-2147483648", "--blue=2147483647" });
    ASSERT_EQ(PARAM_PARSE_OK, p.status) << p.msg;
    EXPECT_EQ(INT32_MIN, g.red);
    EXPECT_EQ(GRAIN_DEFAULT_GREEN, g.green);
    EXPECT_EQ(INT32_MAX, g.blue);
    EXPECT_EQ(PARAM_PARSE_ERROR, parse(&grain_option_table, &g, { "--red", "2147483648" }).status);

    NoiseParams n = noise_params_defaults;
    EXPECT_EQ(PARAM_PARSE_ERROR, parse(&noise_option_table, &n, { "--radius=-1" }).status);
    EXPECT_EQ(PARAM_PARSE_OK, parse(&noise_option_table, &n, { "--damping", "-3" }).status);
    EXPECT_EQ(-3.0, n.damping);
}

/* A word given for a number option stands for its value. */
TEST(ParamParser, WordsOfANumberOption)
{
    struct Rec {
        double level;
    };
    static const ParamWord words[] = { { "auto", -1.0 }, { nullptr, 0 } };
    static const ParamSpec entries[] = { { nullptr, nullptr, "--level", nullptr, "L", PARAM_DOUBLE,
                                        offsetof(Rec, level), 5.0, 0.0, 10.0, words, "level",
                                        nullptr } };
    const ParamTable table = { entries, 1 };
    Rec r = { 0 };
    EXPECT_EQ(PARAM_PARSE_OK, parse(&table, &r, { "--level", "auto" }).status);
    EXPECT_EQ(-1.0, r.level);
    EXPECT_EQ(PARAM_PARSE_OK, parse(&table, &r, { "--level=7" }).status);
    EXPECT_EQ(7.0, r.level);
    EXPECT_EQ(PARAM_PARSE_ERROR, parse(&table, &r, { "--level", "11" }).status);
    EXPECT_EQ(PARAM_PARSE_ERROR, parse(&table, &r, { "--level", "automatic" }).status);
}

/* ---- the filters on buffers ------------------------------------------- */

std::vector<unsigned char> photo(int w, int h, int channels)
{
    std::vector<unsigned char> px((size_t)w * h * channels);
    uint32_t s = 7;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < channels; c++) {
                s = s * 1103515245u + 12345u;
                int v = 20 + x * 200 / w + c * 11 + (int)((s >> 16) % 9) - 4; /* a noisy ramp */
                px[((size_t)y * w + x) * channels + c] = (unsigned char)v;
            }
    return px;
}

/* Filtering with alpha changes the colour channels exactly as filtering
 * them alone does, and leaves alpha as it was. */
TEST(BatchFilters, AlphaIsUntouchedAndColourAsWithoutIt)
{
    const int w = 240, h = 200; /* wider than the camera-noise border */
    for (const BatchFilter *const *f = batch_filters; *f; f++)
        for (int colour : { 1, 3 }) {
            if (!strcmp((*f)->name, "grain") && colour == 1)
                continue; /* refused, see below */
            BatchSettings s;
            batch_settings_defaults(*f, &s);
            if (!strcmp((*f)->name, "refocus"))
                s.refocus.iterations = 3;
            std::vector<unsigned char> plain = photo(w, h, colour), with = photo(w, h, colour + 1);
            for (size_t k = 0; k < (size_t)w * h; k++)
                for (int c = 0; c < colour; c++)
                    with[k * (colour + 1) + c] = plain[k * colour + c];
            const std::vector<unsigned char> before = with, unfiltered = plain;
            char msg[200];
            ASSERT_EQ(0, (*f)->run(&s, plain.data(), w, h, colour, nullptr, nullptr, msg, sizeof msg))
                << msg;
            ASSERT_EQ(0, (*f)->run(&s, with.data(), w, h, colour + 1, nullptr, nullptr, msg,
                                   sizeof msg))
                << msg;
            EXPECT_NE(unfiltered, plain) << (*f)->name << " changed nothing";
            for (size_t k = 0; k < (size_t)w * h; k++) {
                for (int c = 0; c < colour; c++)
                    ASSERT_EQ(plain[k * colour + c], with[k * (colour + 1) + c])
                        << (*f)->name << " colour " << colour << " pixel " << k;
                ASSERT_EQ(before[k * (colour + 1) + colour], with[k * (colour + 1) + colour])
                    << (*f)->name << " alpha at " << k;
            }
        }
}

TEST(BatchFilters, RefusalsLeaveThePixelsAndGiveAReason)
{
    const int w = 20, h = 16;
    struct Case {
        const char *filter;
        int channels;
        const char *why;
        void (*set)(BatchSettings *);
    } cases[] = {
        { "grain", 1, "colour", nullptr },
        { "grain", 2, "colour", nullptr },
        { "refocus", 3, "mask", [](BatchSettings *s) { s->refocus.params.radius = 30; } },
    };
    for (const Case &c : cases) {
        const BatchFilter *f = batch_filter_find(c.filter);
        ASSERT_NE(nullptr, f);
        BatchSettings s;
        batch_settings_defaults(f, &s);
        if (c.set)
            c.set(&s);
        std::vector<unsigned char> px = photo(w, h, c.channels), before = px;
        char msg[200] = "";
        EXPECT_EQ(-1, f->run(&s, px.data(), w, h, c.channels, nullptr, nullptr, msg, sizeof msg));
        EXPECT_NE(nullptr, strstr(msg, c.why)) << msg;
        EXPECT_EQ(before, px);
    }
    EXPECT_EQ(nullptr, batch_filter_find("sharpen"));
}

/* Refocus reports its iterations, ending at 1. */
TEST(BatchFilters, RefocusReportsProgress)
{
    const BatchFilter *f = batch_filter_find("refocus");
    BatchSettings s;
    batch_settings_defaults(f, &s);
    s.refocus.iterations = 4;
    std::vector<unsigned char> px = photo(30, 30, 3);
    std::vector<double> seen;
    char msg[200];
    ASSERT_EQ(0, f->run(&s, px.data(), 30, 30, 3,
                        [](void *user, double v) { ((std::vector<double> *)user)->push_back(v); },
                        &seen, msg, sizeof msg));
    ASSERT_GE(seen.size(), 4u);
    for (size_t k = 1; k < seen.size(); k++)
        EXPECT_GE(seen[k], seen[k - 1]);
    EXPECT_DOUBLE_EQ(1.0, seen.back());
}

}  // namespace
