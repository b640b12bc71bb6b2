// Replays the fuzz target's seed corpus (and anything saved beside it)
// through the reader outside the fuzzer.
#include <gtest/gtest.h>

#include <dirent.h>

#include <map>

#include "testutil.h"

namespace {

TEST(PnmCorpus, ReplayGivesCleanOutcomes)
{
    // Expected outcomes of the committed seeds: 1 read, 0 partial read,
    // -1 rejected.
    const std::map<std::string, int> expected = {
        { "grey_text.pgm", 1 },      { "grey_binary_maxval15.pgm", 1 },
        { "colour_text.ppm", 1 },    { "colour_binary_crlf.ppm", 1 },
        { "truncated.pgm", 0 },      { "magic_line_dims.pgm", -1 },
        { "bitmap.pbm", -1 },        { "text_maxval16.pgm", 1 },
        { "huge_header.ppm", -1 },
    };
    DIR *dir = opendir(OSTREL_CORPUS_DIR);
    ASSERT_NE(dir, nullptr) << OSTREL_CORPUS_DIR;
    int seen = 0;
    while (struct dirent *e = readdir(dir)) {
        std::string name = e->d_name;
        if (name[0] == '.')
            continue;
        std::string path = std::string(OSTREL_CORPUS_DIR) + "/" + name;
        Matrix m[3];
        int channels = 0, complete = 0;
        int rc = pnm_load_full(&m[0], &m[1], &m[2], &channels, path.c_str(), &complete);
        if (rc == 0) {
            ASSERT_TRUE(channels == 1 || channels == 3) << name;
            for (int c = 0; c < channels; c++) {
                EXPECT_NE(m[c].data, nullptr) << name;
                EXPECT_GT(m[c].width, 0) << name;
                matrix_destroy(&m[c]);
            }
        } else {
            for (auto &mm : m)
                EXPECT_EQ(mm.data, nullptr) << name;
        }
        auto it = expected.find(name);
        if (it != expected.end()) {
            int outcome = rc != 0 ? -1 : complete ? 1 : 0;
            EXPECT_EQ(outcome, it->second) << name;
            seen++;
        }
    }
    closedir(dir);
    EXPECT_EQ(seen, (int)expected.size());
}

}  // namespace
