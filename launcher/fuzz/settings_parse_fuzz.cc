// libFuzzer target for the settings file's parser: any text gives the
// values that reading it line by line with fgets into a 256-byte buffer
// and converting each line with strtol's rule (clamped to int) gives.
#define _POSIX_C_SOURCE 200809L
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "settings_parse.h"

static int reference_value(const char *line)
{
    long long v = strtoll(line, NULL, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int values[kSettingsValueCount];
    int lines = ParseSettingsText(reinterpret_cast<const char *>(data), size, values,
                                  kSettingsValueCount);
    if (lines < 0 || lines > kSettingsValueCount)
        __builtin_trap();

    int expected[kSettingsValueCount], n = 0;
    if (size > 0) {
        FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
        if (!file)
            return 0;
        char line[kSettingsLineChars + 1];
        while (n < kSettingsValueCount && fgets(line, sizeof line, file))
            expected[n++] = reference_value(line);
        fclose(file);
    }
    if (lines != n)
        __builtin_trap();
    for (int i = 0; i < n; i++)
        if (values[i] != expected[i])
            __builtin_trap();
    return 0;
}
