/* A plain main for a libFuzzer target: runs LLVMFuzzerTestOneInput once on
 * every file named on the command line, or on every file in a named
 * folder.  Used to replay the committed corpora (the regression cases)
 * outside the fuzzer. */
#define _DEFAULT_SOURCE
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replay_file(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "%s: cannot open\n", path);
        return -1;
    }
    size_t cap = 4096, n = 0;
    uint8_t *data = malloc(cap);
    size_t got;
    while (data && (got = fread(data + n, 1, cap - n, f)) > 0) {
        n += got;
        if (n == cap) {
            uint8_t *bigger = realloc(data, cap *= 2);
            if (!bigger)
                free(data);
            data = bigger;
        }
    }
    fclose(f);
    if (!data) {
        fprintf(stderr, "%s: out of memory\n", path);
        return -1;
    }
    /* An exact-size copy, so reads past the input's end are caught. */
    uint8_t *exact = malloc(n ? n : 1);
    if (!exact) {
        free(data);
        return -1;
    }
    memcpy(exact, data, n);
    free(data);
    LLVMFuzzerTestOneInput(exact, n);
    free(exact);
    return 0;
}

static int by_name(const struct dirent **a, const struct dirent **b)
{
    return strcmp((*a)->d_name, (*b)->d_name);
}

int main(int argc, char **argv)
{
    int files = 0, failed = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            fprintf(stderr, "%s: not found\n", argv[i]);
            failed++;
        } else if (S_ISDIR(st.st_mode)) {
            struct dirent **entries;
            int n = scandir(argv[i], &entries, NULL, by_name);
            for (int k = 0; k < n; k++) {
                if (entries[k]->d_name[0] != '.') {
                    char path[4096];
                    snprintf(path, sizeof path, "%s/%s", argv[i], entries[k]->d_name);
                    failed += replay_file(path) != 0;
                    files++;
                }
                free(entries[k]);
            }
            if (n >= 0)
                free(entries);
        } else {
            failed += replay_file(argv[i]) != 0;
            files++;
        }
    }
    printf("replayed %d inputs, %d unreadable\n", files, failed);
    return files > 0 && failed == 0 ? 0 : 1;
}
