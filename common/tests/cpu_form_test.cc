#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cpu_form.h"

namespace {

std::string choose_messages(const char *word, CpuForm *chosen)
{
    FILE *err = std::tmpfile();
    EXPECT_NE(nullptr, err);
    *chosen = cpu_form_choose(word, err);
    std::string text;
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;)
        text += (char)c;
    std::fclose(err);
    return text;
}

CpuForm widest()
{
    CpuForm forms[CPU_FORM_COUNT];
    return forms[cpu_forms_available(forms) - 1];
}

// Runs first in its own process under CTest: the form in use follows
// CORVELLA_CPU as the policy reads it.
TEST(CpuForm, InUseFollowsTheEnvironment)
{
    CpuForm chosen;
    choose_messages(std::getenv("CORVELLA_CPU"), &chosen);
    EXPECT_EQ(chosen, cpu_form());
}

TEST(CpuForm, AvailableFormsAreOrderedAndRunnable)
{
    CpuForm forms[CPU_FORM_COUNT];
    int n = cpu_forms_available(forms);
    ASSERT_GE(n, 1);
    ASSERT_LE(n, CPU_FORM_COUNT);
    EXPECT_EQ(CPU_FORM_GENERIC, forms[0]);
    for (int k = 0; k < n; k++) {
        EXPECT_TRUE(cpu_form_runs(forms[k]));
        if (k > 0) {
            EXPECT_LT(forms[k - 1], forms[k]);
        }
    }
    // avx512 builds on avx2: a processor never runs the wider form alone.
    if (cpu_form_runs(CPU_FORM_AVX512)) {
        EXPECT_TRUE(cpu_form_runs(CPU_FORM_AVX2));
    }
    EXPECT_FALSE(cpu_form_runs((CpuForm)CPU_FORM_COUNT));
}

TEST(CpuForm, NamesParseBack)
{
    for (int f = 0; f < CPU_FORM_COUNT; f++) {
        CpuForm parsed = CPU_FORM_GENERIC;
        ASSERT_EQ(0, cpu_form_parse(cpu_form_name((CpuForm)f), &parsed));
        EXPECT_EQ(f, parsed);
    }
    CpuForm untouched = CPU_FORM_AVX2;
    for (const char *bad : { "", "AVX2", "avx", "avx2 ", "sse4", "avx512f" })
        EXPECT_EQ(-1, cpu_form_parse(bad, &untouched)) << bad;
    EXPECT_EQ(-1, cpu_form_parse(nullptr, &untouched));
    EXPECT_EQ(CPU_FORM_AVX2, untouched);
}

// Every word the policy may meet: a form the processor runs is taken
// silently; a form it lacks or a bad word gets one line and the widest.
TEST(CpuForm, OverrideWords)
{
    CpuForm chosen;
    EXPECT_EQ("", choose_messages(nullptr, &chosen));
    EXPECT_EQ(widest(), chosen);
    for (int f = 0; f < CPU_FORM_COUNT; f++) {
        const char *word = cpu_form_name((CpuForm)f);
        std::string said = choose_messages(word, &chosen);
        if (cpu_form_runs((CpuForm)f)) {
            EXPECT_EQ("", said) << word;
            EXPECT_EQ(f, chosen) << word;
        } else {
            EXPECT_EQ(std::string("CORVELLA_CPU=") + word +
                          ": this processor cannot run it; using " + cpu_form_name(widest()) +
                          "\n",
                      said);
            EXPECT_EQ(widest(), chosen);
        }
    }
    std::string said = choose_messages("fastest", &chosen);
    EXPECT_EQ(std::string("CORVELLA_CPU=fastest is not generic, avx2 or avx512; using ") +
                  cpu_form_name(widest()) + "\n",
              said);
    EXPECT_EQ(widest(), chosen);
}

TEST(CpuForm, ForceOnlyWhatTheProcessorRuns)
{
    CpuForm before = cpu_form();
    for (int f = 0; f < CPU_FORM_COUNT; f++) {
        if (cpu_form_runs((CpuForm)f)) {
            EXPECT_EQ(0, cpu_form_force((CpuForm)f));
            EXPECT_EQ(f, cpu_form());
        } else {
            CpuForm now = cpu_form();
            EXPECT_EQ(-1, cpu_form_force((CpuForm)f));
            EXPECT_EQ(now, cpu_form());
        }
    }
    EXPECT_EQ(-1, cpu_form_force((CpuForm)-1));
    EXPECT_EQ(-1, cpu_form_force((CpuForm)CPU_FORM_COUNT));
    ASSERT_EQ(0, cpu_form_force(before));
}

// The override as a run meets it: read at the first use, in a fresh
// process (the death-test child re-runs this program), a bad word gets one
// line and the widest form, a good one is taken silently.
TEST(CpuFormDeathTest, EnvironmentOverrideAtFirstUse)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char *saved = std::getenv("CORVELLA_CPU");
    std::string saved_word = saved ? saved : "";
    const int best = (int)widest();
    setenv("CORVELLA_CPU", "fastest", 1);
    EXPECT_EXIT(std::exit((int)cpu_form() == best ? 0 : 1), ::testing::ExitedWithCode(0),
                "^CORVELLA_CPU=fastest is not generic, avx2 or avx512; using [a-z0-9]+\n$");
    setenv("CORVELLA_CPU", "generic", 1);
    EXPECT_EXIT(std::exit(cpu_form() == CPU_FORM_GENERIC ? 0 : 1), ::testing::ExitedWithCode(0),
                "^$");
    if (saved)
        setenv("CORVELLA_CPU", saved_word.c_str(), 1);
    else
        unsetenv("CORVELLA_CPU");
}

} // namespace
