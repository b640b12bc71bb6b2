/* Written by scripts/calibrate-refocus-noise; placeholder until the first
 * calibration. */
#define NOISE_RULE_RADII 1
#define NOISE_RULE_LEVELS 2
static const float noise_rule_radii[NOISE_RULE_RADII] = { 6.0f };
static const float noise_rule_levels[NOISE_RULE_LEVELS] = { 0.0f, 8.0f };
static const float noise_rule_weights[NOISE_RULE_RADII][NOISE_RULE_LEVELS] = { { 100.0f, 10000.0f } };
