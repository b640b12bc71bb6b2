/* Index mappings for samples beyond the ends of a line of n samples.
 * "mirror boundary": reflection about the end samples without repeating
 * them (-1 -> 1, n -> n - 2); "periodical boundary": wrapping (-1 -> n - 1,
 * n -> 0).  Both accept any i and reflect or wrap as often as needed, so
 * they are safe for reaches wider than the line; a line of one sample maps
 * everything to 0.  n must be >= 1. */
#ifndef CORVELLA_BOUNDARY_INDEX_H
#define CORVELLA_BOUNDARY_INDEX_H

#ifdef __cplusplus
extern "C" {
#endif

int mirror_index(int i, int n);
int wrap_index(int i, int n);

#ifdef __cplusplus
}
#endif

#endif
