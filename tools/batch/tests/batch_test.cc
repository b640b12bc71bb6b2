/* corvella-batch as a photographer runs it, on JPEG, PNG and TIFF files
 * made from a real photograph: results equal the command-line tools',
 * metadata is kept, bad files fail alone, usage errors exit 2, parallel and
 * sharded runs give the same files, and an interrupted or killed run
 * leaves no partial result. */
#include <gtest/gtest.h>
#include <vips/vips.h>

#include "test_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

/* Refocus iterations that keep a worker busy for seconds on the photo. */
#define LONG_ITERATIONS "30"

/* Starts a program whose messages go to .stdout and .stderr in dir. */
pid_t spawn(const std::vector<std::string> &args, const std::string &dir)
{
    return spawn_program(args, dir + "/.stdout", dir + "/.stderr");
}

class Batch : public testing::Test {
protected:
    static TempDir *files_;             /* the test files, made once */
    static std::string base_;           /* files_->path */
    static std::map<std::string, std::string> made_; /* kind -> path */

    static void SetUpTestSuite()
    {
        ASSERT_EQ(0, VIPS_INIT("batch_test"));
        /* Files are rewritten under one name: always read them afresh. */
        vips_cache_set_max(0);
        files_ = new TempDir("corvella-batch-files");
        base_ = files_->path;
        VipsImage *photo = vips_image_new_from_file(CORVELLA_TEST_PHOTO, nullptr);
        ASSERT_NE(nullptr, photo) << vips_error_buffer();
        VipsImage *im = nullptr;
        ASSERT_EQ(0, vips_copy(photo, &im, nullptr));
        g_object_unref(photo);
        /* Known metadata of every kind. */
        VipsBlob *icc = nullptr;
        ASSERT_EQ(0, vips_profile_load("srgb", &icc, nullptr)) << vips_error_buffer();
        size_t icc_len = 0;
        const void *icc_data = vips_blob_get(icc, &icc_len);
        vips_image_set_blob_copy(im, VIPS_META_ICC_NAME, icc_data, icc_len);
        vips_area_unref(VIPS_AREA(icc));
        const std::string xmp =
            "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
            "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
            "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:creator=\"Corvella test\"/>"
            "</rdf:RDF></x:xmpmeta>";
        vips_image_set_blob_copy(im, VIPS_META_XMP_NAME, xmp.data(), xmp.size());
        vips_image_set_string(im, "exif-ifd0-Artist", "Corvella test");

        auto save = [&](VipsImage *img, const std::string &kind, const std::string &name) {
            std::string path = base_ + "/" + name;
            ASSERT_EQ(0, vips_image_write_to_file(img, path.c_str(), nullptr))
                << vips_error_buffer();
            made_[kind] = path;
        };
        save(im, "jpeg", "photo.jpg");
        save(im, "png", "photo.png");
        save(im, "tiff", "photo.tif");
        save(im, "spaced", "Chelsea im Garten – Katze ü.jpg");
        VipsImage *grey = nullptr, *alpha = nullptr, *rgba = nullptr, *ga = nullptr;
        ASSERT_EQ(0, vips_colourspace(im, &grey, VIPS_INTERPRETATION_B_W, nullptr));
        save(grey, "grey", "grey.png");
        ASSERT_EQ(0, vips_extract_band(im, &alpha, 1, nullptr)); /* a varied alpha */
        ASSERT_EQ(0, vips_bandjoin2(im, alpha, &rgba, nullptr));
        save(rgba, "rgba", "rgba.png");
        ASSERT_EQ(0, vips_bandjoin2(grey, alpha, &ga, nullptr));
        save(ga, "ga", "grey-alpha.png");
        VipsImage *wide = nullptr, *shifted = nullptr, *rgb16 = nullptr;
        ASSERT_EQ(0, vips_cast_ushort(im, &wide, nullptr));
        ASSERT_EQ(0, vips_lshift_const1(wide, &shifted, 8, nullptr));
        ASSERT_EQ(0, vips_copy(shifted, &rgb16, "interpretation", VIPS_INTERPRETATION_RGB16,
                               nullptr));
        save(rgb16, "16bit", "deep.png");
        VipsImage *cmyk = nullptr;
        ASSERT_EQ(0, vips_colourspace(im, &cmyk, VIPS_INTERPRETATION_CMYK, nullptr))
            << vips_error_buffer();
        save(cmyk, "cmyk", "cmyk.jpg");
        made_["indexed"] = base_ + "/indexed.png";
        ASSERT_EQ(0, vips_pngsave(im, made_["indexed"].c_str(), "palette", TRUE, nullptr))
            << vips_error_buffer();
        VipsImage *pair[2] = { im, im }, *pages = nullptr;
        ASSERT_EQ(0, vips_arrayjoin(pair, &pages, 2, "across", 1, nullptr));
        made_["pages"] = base_ + "/pages.tif";
        vips_image_set_int(pages, VIPS_META_PAGE_HEIGHT, im->Ysize);
        ASSERT_EQ(0, vips_image_write_to_file(pages, made_["pages"].c_str(), nullptr))
            << vips_error_buffer();
        g_object_unref(pages);
        /* A format only one of libvips' optional modules reads. */
        VipsImage *corner = nullptr;
        ASSERT_EQ(0, vips_crop(im, &corner, 0, 0, 16, 16, nullptr));
        made_["bmp"] = base_ + "/corner.bmp";
        ASSERT_EQ(0, vips_magicksave(corner, made_["bmp"].c_str(), "format", "BMP", nullptr))
            << vips_error_buffer();
        g_object_unref(corner);
        for (VipsImage *i : { im, grey, alpha, rgba, ga, wide, shifted, rgb16, cmyk })
            g_object_unref(i);

        std::string jpeg = read_file(made_["jpeg"]);
        write_file(base_ + "/truncated.jpg", jpeg.substr(0, jpeg.size() / 3));
        made_["truncated"] = base_ + "/truncated.jpg";
        write_file(base_ + "/notes.jpg", "shopping list, not a photograph\n");
        made_["text"] = base_ + "/notes.jpg";
    }

    static void TearDownTestSuite()
    {
        delete files_;
        files_ = nullptr;
    }

    /* The read-only folder a test may leave must open for removal. */
    void TearDown() override { chmod((dir_ + "/ro").c_str(), 0700); }

    ProcessResult batch(std::vector<std::string> args, double timeout = 240)
    {
        args.insert(args.begin(), CORVELLA_BATCH);
        return run_program(args, timeout);
    }

    ProcessResult tool(const std::string &program, std::vector<std::string> args)
    {
        args.insert(args.begin(), program);
        return run_program(args, 240);
    }

    /* The decoded 8-bit samples of a file, interleaved. */
    static std::string pixels(const std::string &path, int *bands = nullptr)
    {
        VipsImage *im = vips_image_new_from_file(path.c_str(), nullptr);
        EXPECT_NE(nullptr, im) << path << ": " << vips_error_buffer();
        if (!im)
            return "";
        size_t size = 0;
        void *mem = vips_image_write_to_memory(im, &size);
        std::string bytes((const char *)mem, size);
        if (bands)
            *bands = im->Bands;
        g_free(mem);
        g_object_unref(im);
        return bytes;
    }

    static std::string blob(const std::string &path, const char *field)
    {
        VipsImage *im = vips_image_new_from_file(path.c_str(), nullptr);
        EXPECT_NE(nullptr, im) << path;
        std::string bytes;
        const void *data;
        size_t len;
        if (im && vips_image_get_typeof(im, field) &&
            vips_image_get_blob(im, field, &data, &len) == 0)
            bytes.assign((const char *)data, len);
        if (im)
            g_object_unref(im);
        return bytes;
    }

    static std::string text_field(const std::string &path, const char *field)
    {
        VipsImage *im = vips_image_new_from_file(path.c_str(), nullptr);
        std::string s;
        const char *v;
        if (im && vips_image_get_typeof(im, field) && vips_image_get_string(im, field, &v) == 0)
            s = v;
        if (im)
            g_object_unref(im);
        return s;
    }

    TempDir tmp_{"corvella-batch-run"};
    std::string dir_ = tmp_.path;
};

TempDir *Batch::files_;
std::string Batch::base_;
std::map<std::string, std::string> Batch::made_;

std::string base_name(const std::string &path)
{
    return path.substr(path.rfind('/') + 1);
}

/* The results equal, sample for sample, the command-line tool run on a
 * Netpbm copy of the same 8-bit pixels. */
TEST_F(Batch, PixelsEqualTheCommandLineTools)
{
    struct Case {
        const char *filter, *tool;
        std::vector<std::string> options;
        const char *kind, *netpbm;
    } cases[] = {
        { "refocus", OSTREL_REFOCUS, { "--iterations", "6", "--noise", "3000" }, "png", "in.ppm" },
        { "refocus", OSTREL_REFOCUS, { "--iterations", "4", "--seed", "9" }, "tiff", "in.ppm" },
        { "refocus", OSTREL_REFOCUS, { "--iterations", "4", "--radius", "2" }, "grey", "in.pgm" },
        { "noise", VAREKNOISE2_FILTER, {}, "png", "in.ppm" },
        { "noise", VAREKNOISE2_FILTER, { "--radius", "3", "--gamma=1.1" }, "grey", "in.pgm" },
        { "grain", TESSALINE_FILTER, { "--red", "30" }, "tiff", "in.ppm" },
        { "grain", TESSALINE_FILTER, {}, "png", "in.ppm" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.filter) + " on " + c.kind);
        const std::string input = made_[c.kind], in = dir_ + "/" + c.netpbm,
                          out = dir_ + "/tool-" + c.netpbm, outdir = dir_ + "/out";
        VipsImage *im = vips_image_new_from_file(input.c_str(), nullptr);
        ASSERT_NE(nullptr, im);
        ASSERT_EQ(0, vips_image_write_to_file(im, in.c_str(), nullptr));
        g_object_unref(im);
        std::vector<std::string> args = c.options;
        args.push_back(in);
        args.push_back(out);
        ProcessResult t = tool(c.tool, args);
        ASSERT_EQ(0, t.status) << t.err;

        args = c.options;
        args.insert(args.begin(), c.filter);
        args.insert(args.end(), { "-o", outdir, input });
        ProcessResult b = batch(args);
        ASSERT_EQ(0, b.status) << b.err;
        const std::string result = outdir + "/" + base_name(input);
        EXPECT_TRUE(pixels(out) == pixels(result)) << "the samples differ from " << c.tool << "'s";
        EXPECT_NE(pixels(input), pixels(result)) << "the filter changed nothing";
        remove_tree(outdir);
    }
}

/* "--noise auto" measures the photo's noise as the tool does, says what it
 * found in the file's line and refocuses with the same weight. */
TEST_F(Batch, NoiseAutoChoosesAsTheToolDoes)
{
    for (const char *kind : { "png", "grey" }) {
        SCOPED_TRACE(kind);
        const bool grey = std::string(kind) == "grey";
        const std::string input = made_[kind], in = dir_ + (grey ? "/in.pgm" : "/in.ppm"),
                          out = dir_ + "/tool-out.pnm", outdir = dir_ + "/out";
        VipsImage *im = vips_image_new_from_file(input.c_str(), nullptr);
        ASSERT_NE(nullptr, im);
        ASSERT_EQ(0, vips_image_write_to_file(im, in.c_str(), nullptr));
        g_object_unref(im);
        const std::vector<std::string> options = { "--iterations", "3", "--noise", "auto" };
        std::vector<std::string> args = options;
        args.insert(args.end(), { in, out });
        ProcessResult t = tool(OSTREL_REFOCUS, args);
        ASSERT_EQ(0, t.status) << t.err;
        size_t at = t.err.find("noise level found: ");
        ASSERT_NE(std::string::npos, at) << t.err;
        const std::string found = t.err.substr(at, t.err.find('\n', at) - at);
        EXPECT_NE(std::string::npos, found.find("noise weight chosen: ")) << found;

        args = options;
        args.insert(args.begin(), "refocus");
        args.insert(args.end(), { "-o", outdir, input });
        ProcessResult b = batch(args);
        ASSERT_EQ(0, b.status) << b.err;
        EXPECT_NE(std::string::npos, b.out.find(found)) << "expected \"" << found << "\" in\n"
                                                         << b.out;
        EXPECT_TRUE(pixels(out) == pixels(outdir + "/" + base_name(input)))
            << "the samples differ from the tool's";
        remove_tree(outdir);
    }
}

/* Alpha comes through untouched and the colour channels are filtered. */
TEST_F(Batch, AlphaIsKept)
{
    for (const char *filter : { "refocus", "noise", "grain" })
        for (const char *kind : { "rgba", "ga" }) {
            if (!strcmp(filter, "grain") && !strcmp(kind, "ga"))
                continue;
            SCOPED_TRACE(std::string(filter) + " " + kind);
            std::vector<std::string> args = { filter, "-o", dir_ + "/out", made_[kind] };
            if (!strcmp(filter, "refocus"))
                args.insert(args.begin() + 1, { "--iterations", "2" });
            ProcessResult r = batch(args);
            ASSERT_EQ(0, r.status) << r.err;
            int bands = 0, in_bands = 0;
            std::string after = pixels(dir_ + "/out/" + base_name(made_[kind]), &bands);
            std::string before = pixels(made_[kind], &in_bands);
            ASSERT_EQ(in_bands, bands);
            ASSERT_EQ(before.size(), after.size());
            size_t changed = 0;
            for (size_t k = 0; k < before.size(); k++) {
                if ((int)(k % bands) == bands - 1)
                    ASSERT_EQ(before[k], after[k]) << "alpha at " << k;
                else
                    changed += before[k] != after[k];
            }
            EXPECT_GT(changed, 0u);
        }
}

/* EXIF, XMP and the ICC profile, read back with libvips. */
TEST_F(Batch, MetadataIsKept)
{
    for (const char *kind : { "jpeg", "png", "tiff" }) {
        SCOPED_TRACE(kind);
        const std::string in = made_[kind], out = dir_ + "/out/" + base_name(in);
        ProcessResult r = batch({ "grain", "-o", dir_ + "/out", in });
        ASSERT_EQ(0, r.status) << r.err;
        std::string icc = blob(in, VIPS_META_ICC_NAME), xmp = blob(in, VIPS_META_XMP_NAME);
        ASSERT_FALSE(icc.empty());
        ASSERT_NE(std::string::npos, xmp.find("Corvella test"));
        EXPECT_EQ(icc, blob(out, VIPS_META_ICC_NAME));
        EXPECT_EQ(xmp, blob(out, VIPS_META_XMP_NAME));
        /* libvips writes EXIF into JPEG (and WebP) files only. */
        if (!strcmp(kind, "jpeg")) {
            ASSERT_NE(std::string::npos, text_field(in, "exif-ifd0-Artist").find("Corvella test"));
            EXPECT_NE(std::string::npos, text_field(out, "exif-ifd0-Artist").find("Corvella test"));
        }
    }
}

TEST_F(Batch, JpegQualityFollowsTheOption)
{
    ProcessResult lo = batch({ "grain", "--quality", "40", "-o", dir_ + "/new/lo", made_["jpeg"] });
    ProcessResult hi = batch({ "grain", "-o", dir_ + "/hi", made_["jpeg"] });
    ASSERT_EQ(0, lo.status) << lo.err;
    ASSERT_EQ(0, hi.status) << hi.err;
    EXPECT_LT(read_file(dir_ + "/new/lo/photo.jpg").size() * 2,
              read_file(dir_ + "/hi/photo.jpg").size());
}

/* Bad files fail alone, named with their reason; the rest are done, the
 * inputs are untouched and no temporary file is left. */
TEST_F(Batch, FailuresAreNamedAndTheRestIsDone)
{
    const std::vector<std::string> inputs = { made_["truncated"], made_["jpeg"], made_["text"],
                                              made_["spaced"],    made_["png"],  made_["tiff"],
                                              base_ + "/missing.png" };
    std::map<std::string, std::string> before;
    for (const auto &in : inputs)
        before[in] = read_file(in);
    std::vector<std::string> args = { "noise", "--jobs", "2", "-o", dir_ + "/out" };
    args.insert(args.end(), inputs.begin(), inputs.end());
    ProcessResult r = batch(args);
    EXPECT_EQ(1, r.status) << r.err;
    for (const char *bad : { "truncated.jpg", "notes.jpg", "missing.png" })
        EXPECT_NE(std::string::npos, r.err.find(std::string(bad) + " failed: ")) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("7 files")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("3 failed")) << r.out;
    EXPECT_EQ((std::vector<std::string>{ base_name(made_["spaced"]), "photo.jpg", "photo.png",
                                         "photo.tif" }),
              entries(dir_ + "/out"));
    /* A line for each file as it finishes: four done, three failed. */
    auto lines = [](const std::string &text) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find("/7] ", at)) != std::string::npos; at++)
            n++;
        return n;
    };
    EXPECT_EQ(4u, lines(r.out)) << r.out;
    EXPECT_EQ(3u, lines(r.err)) << r.err;
    EXPECT_EQ(pixels(made_["spaced"]).size(), pixels(dir_ + "/out/" + base_name(made_["spaced"])).size());
    for (const auto &in : inputs)
        EXPECT_EQ(before[in], read_file(in)) << in;
}

/* An OUTDIR that cannot take the results: every file fails naming the
 * folder, and nothing is left in it. */
TEST_F(Batch, UnwritableOutdirFailsEveryFile)
{
    /* A result name taken by a folder cannot be replaced, for any user. */
    const std::string blocked = dir_ + "/blocked";
    mkdir(blocked.c_str(), 0700);
    mkdir((blocked + "/photo.png").c_str(), 0700);
    write_file(blocked + "/photo.png/keep", "x");
    ProcessResult r = batch({ "grain", "-o", blocked, made_["png"] });
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("cannot write " + blocked + "/photo.png")) << r.err;
    EXPECT_EQ((std::vector<std::string>{ "photo.png" }), entries(blocked));

    /* A read-only folder (root writes there all the same). */
    const std::string ro = dir_ + "/ro";
    mkdir(ro.c_str(), 0500);
    r = batch({ "grain", "-o", ro, made_["png"], made_["jpeg"] });
    if (geteuid() != 0) {
        EXPECT_EQ(1, r.status);
        EXPECT_NE(std::string::npos, r.err.find("cannot write " + ro + "/photo.png")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("cannot write " + ro + "/photo.jpg")) << r.err;
        EXPECT_TRUE(entries(ro).empty());
    } else {
        EXPECT_EQ(0, r.status) << r.err;
    }
}

TEST_F(Batch, ConversionsAreSaidInTheLine)
{
    ProcessResult r = batch({ "noise", "-o", dir_ + "/out", made_["16bit"], made_["cmyk"] });
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("deep.png")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("16-bit input filtered at 8 bits")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("CMYK converted to sRGB")) << r.out;
    int bands = 0;
    pixels(dir_ + "/out/cmyk.jpg", &bands);
    EXPECT_EQ(3, bands);
    EXPECT_EQ(pixels(made_["png"]).size(), pixels(dir_ + "/out/deep.png").size());
}

/* What the filters cannot take whole is refused with the reason. */
TEST_F(Batch, UnsupportedImagesAreRefusedWithTheReason)
{
    ProcessResult r = batch({ "noise", "-o", dir_ + "/out", made_["indexed"], made_["pages"],
                       made_["bmp"], made_["png"] });
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("indexed.png failed: an indexed (palette) image"))
        << r.err;
    EXPECT_NE(std::string::npos, r.err.find("pages.tif failed: a file of 2 pages")) << r.err;
    /* The workers load libvips' optional format modules only when a file
     * needs them: the format is still named. */
    EXPECT_NE(std::string::npos,
              r.err.find("corner.bmp failed: magick files are not supported (JPEG, PNG, TIFF "
                         "and WebP are)"))
        << r.err;
    EXPECT_EQ((std::vector<std::string>{ "photo.png" }), entries(dir_ + "/out"));
}

TEST_F(Batch, UsageErrorsExitTwoAndWriteNothing)
{
    const std::string out = dir_ + "/out", png = made_["png"];
    const std::vector<std::vector<std::string>> cases = {
        {},
        { "sharpen", "-o", out, png },
        { "refocus", png },
        { "refocus", "-o", out },
        { "refocus", "--bogus", "-o", out, png },
        { "refocus", "--radius", "x", "-o", out, png },
        { "refocus", "--radius", "1e6", "-o", out, png },
        { "noise", "--radius=-1", "-o", out, png },
        { "grain", "--quality", "0", "-o", out, png },
        { "grain", "--jobs", "0", "-o", out, png },
        { "grain", "--shard", "0/2", "-o", out, png },
        { "grain", "--shard", "3/2", "-o", out, png },
        { "grain", "--shard", "1-2", "-o", out, png },
        { "grain", "-o", base_, png },                   /* would replace the input */
        { "grain", "-o", out, png, base_ + "/../" + base_name(base_) + "/photo.png" },
        { "grain", "-o", made_["jpeg"], png },           /* not a folder */
    };
    for (const auto &args : cases) {
        std::string joined;
        for (const auto &a : args)
            joined += a + " ";
        ProcessResult r = batch(args);
        EXPECT_EQ(2, r.status) << joined << r.err;
        EXPECT_NE(std::string::npos, r.err.find("usage: corvella-batch")) << joined;
        EXPECT_FALSE(exists(out + "/photo.png")) << joined;
    }
    ProcessResult help = batch({ "refocus", "--help" });
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("--noise")) << help.out;
    EXPECT_EQ(std::string::npos, help.out.find("--red")) << help.out;
}

/* The set of files several test cases share: five photographs. */
std::vector<std::string> five(const std::map<std::string, std::string> &made)
{
    return { made.at("jpeg"), made.at("png"), made.at("tiff"), made.at("spaced"),
             made.at("rgba") };
}

TEST_F(Batch, TwoJobsGiveTheSameBytesAsOne)
{
    for (const char *jobs : { "1", "2" }) {
        std::vector<std::string> args = { "refocus", "--iterations", "5", "--jobs", jobs, "-o",
                                          dir_ + "/jobs" + jobs };
        for (const auto &f : five(made_))
            args.push_back(f);
        ProcessResult r = batch(args);
        ASSERT_EQ(0, r.status) << r.err;
    }
    ASSERT_EQ(5u, entries(dir_ + "/jobs1").size());
    EXPECT_EQ(entries(dir_ + "/jobs1"), entries(dir_ + "/jobs2"));
    for (const auto &name : entries(dir_ + "/jobs1"))
        EXPECT_EQ(read_file(dir_ + "/jobs1/" + name), read_file(dir_ + "/jobs2/" + name)) << name;
}

/* Shards 1/3, 2/3 and 3/3 together do every file exactly once, and each
 * file as the whole run does it. */
TEST_F(Batch, ShardsCoverEveryFileOnce)
{
    std::vector<std::string> files = five(made_);
    files.push_back(made_["grey"]);
    files.push_back(made_["16bit"]);
    std::vector<std::string> whole = { "noise", "-o", dir_ + "/all" };
    whole.insert(whole.end(), files.begin(), files.end());
    ASSERT_EQ(0, batch(whole).status);
    std::multiset<std::string> seen;
    for (int k = 1; k <= 3; k++) {
        const std::string outdir = dir_ + "/shard" + std::to_string(k);
        std::vector<std::string> args = { "noise", "--shard", std::to_string(k) + "/3", "-o",
                                          outdir };
        args.insert(args.end(), files.begin(), files.end());
        ProcessResult r = batch(args);
        ASSERT_EQ(0, r.status) << r.err;
        for (const auto &name : entries(outdir)) {
            seen.insert(name);
            EXPECT_EQ(read_file(dir_ + "/all/" + name), read_file(outdir + "/" + name)) << name;
        }
        EXPECT_EQ(k == 1 ? 3u : 2u, entries(outdir).size());
    }
    std::vector<std::string> all = entries(dir_ + "/all");
    EXPECT_EQ(7u, all.size());
    EXPECT_EQ(std::multiset<std::string>(all.begin(), all.end()), seen);
}

/* A long refocus run, interrupted with SIGINT (Ctrl-C) or killed outright. */
class Interrupted : public Batch {
protected:
    pid_t start_long_run()
    {
        std::vector<std::string> args = { CORVELLA_BATCH, "refocus", "--iterations", LONG_ITERATIONS,
                                          "--jobs",       "2",       "-o",           dir_ + "/out" };
        for (const auto &f : five(made_))
            args.push_back(f);
        pid_t pid = spawn(args, dir_);
        /* The workers are well into their first files then. */
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return pid;
    }

    /* Every file named like a result is a whole image; hidden temporaries
     * are allowed only after a kill. */
    void expect_only_whole_results(bool temporaries_allowed = false)
    {
        for (const auto &name : entries(dir_ + "/out")) {
            if (!temporaries_allowed) {
                EXPECT_NE('.', name[0]) << "temporary left: " << name;
            }
            if (name[0] == '.')
                continue;
            VipsImage *im = vips_image_new_from_file((dir_ + "/out/" + name).c_str(), "fail_on",
                                                     VIPS_FAIL_ON_TRUNCATED, nullptr);
            ASSERT_NE(nullptr, im) << name;
            size_t size = 0;
            void *mem = vips_image_write_to_memory(im, &size);
            EXPECT_NE(nullptr, mem) << name << " is not whole";
            g_free(mem);
            g_object_unref(im);
        }
    }
};

TEST_F(Interrupted, CtrlCStopsCleanly)
{
    pid_t pid = start_long_run();
    ASSERT_EQ(0, kill(pid, SIGINT));
    int status = wait_program(pid, 60);
    wait_group_gone(pid, 10);
    EXPECT_EQ(130, status) << read_file(dir_ + "/.stderr");
    EXPECT_NE(std::string::npos, read_file(dir_ + "/.stderr").find("interrupted"));
    expect_only_whole_results();
    EXPECT_LT(entries(dir_ + "/out").size(), 5u);
}

TEST_F(Interrupted, KilledRunLeavesNoPartialResultAndARerunCompletesTheSet)
{
    pid_t pid = start_long_run();
    ASSERT_EQ(0, kill(-pid, SIGKILL));
    waitpid(pid, nullptr, 0);
    wait_group_gone(pid, 10);
    expect_only_whole_results(true);
    std::vector<std::string> args = { "refocus", "--iterations", LONG_ITERATIONS, "--jobs", "2", "-o",
                                      dir_ + "/out" };
    for (const auto &f : five(made_))
        args.push_back(f);
    ProcessResult r = batch(args, 600);
    ASSERT_EQ(0, r.status) << r.err;
    expect_only_whole_results();
    EXPECT_EQ(5u, entries(dir_ + "/out").size());
}

/* A worker that dies fails its file only; a new worker takes the rest. */
TEST_F(Interrupted, ADeadWorkerFailsOnlyItsFile)
{
    std::vector<std::string> args = { CORVELLA_BATCH, "refocus", "--iterations", LONG_ITERATIONS,
                                      "--jobs",       "1",       "-o",           dir_ + "/out",
                                      made_["png"],   made_["jpeg"], made_["tiff"] };
    pid_t pid = spawn(args, dir_);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::string children = read_file("/proc/" + std::to_string(pid) + "/task/" +
                                     std::to_string(pid) + "/children");
    pid_t worker = (pid_t)atol(children.c_str());
    ASSERT_GT(worker, 0) << "no worker found";
    ASSERT_EQ(0, kill(worker, SIGKILL));
    int status = wait_program(pid, 300);
    wait_group_gone(pid, 10);
    std::string err = read_file(dir_ + "/.stderr"), out = read_file(dir_ + "/.stdout");
    EXPECT_EQ(1, status) << err;
    EXPECT_NE(std::string::npos, err.find("photo.png failed: the worker was stopped by signal 9"))
        << err;
    EXPECT_EQ((std::vector<std::string>{ "photo.jpg", "photo.tif" }), entries(dir_ + "/out"));
    expect_only_whole_results();
}

}  // namespace
