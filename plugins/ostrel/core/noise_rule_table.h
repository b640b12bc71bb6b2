/* Written by scripts/calibrate-refocus-noise: for each mask radius (rows)
 * and noise level found by refocus_noise_level (columns), the noise weight
 * for a photograph of typical detail (refocus_detail_level); the weight
 * is multiplied by (NOISE_RULE_DETAIL_REF / detail) to the power of the
 * level's noise_rule_detail_powers, within NOISE_RULE_DETAIL_LOWEST and
 * _HIGHEST, and kept within the measured weights
 * NOISE_RULE_WEIGHT_MIN and _MAX.  Fitted so that the fewest training
 * cases fall more than 0.5 dB of interior PSNR short of their best
 * weight (astronaut, coffee, rocket, motorcycle, camera,
 * grass, gravel, brick, coins, clock, cell, retina;
 * 160 x 160 crops, 30 iterations, defaults otherwise).
 * Columns stand for added noise of standard deviation 0, 1, 2, 4, 8. */
#define NOISE_RULE_RADII 6
#define NOISE_RULE_LEVELS 5
static const float noise_rule_radii[NOISE_RULE_RADII] = { 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 9.0f };
static const float noise_rule_levels[NOISE_RULE_LEVELS] = { 0.456f, 1.165f, 2.107f, 4.029f, 7.910f };
static const float noise_rule_weights[NOISE_RULE_RADII][NOISE_RULE_LEVELS] = {
    { 100.0f, 794.3f, 1584.9f, 7943.3f, 31622.8f },
    { 251.2f, 794.3f, 1995.3f, 10000.0f, 31622.8f },
    { 199.5f, 1000.0f, 1995.3f, 6309.6f, 63095.7f },
    { 199.5f, 794.3f, 1584.9f, 6309.6f, 25118.9f },
    { 125.9f, 1000.0f, 1258.9f, 3162.3f, 10000.0f },
    { 1995.3f, 1995.3f, 3162.3f, 6309.6f, 19952.6f },
};
static const float noise_rule_detail_powers[NOISE_RULE_LEVELS] = { 2.50f, 2.50f, 2.50f, 2.50f, 2.50f };
#define NOISE_RULE_DETAIL_REF 17.329
#define NOISE_RULE_DETAIL_MIN 0.5
#define NOISE_RULE_DETAIL_LOWEST 1
#define NOISE_RULE_DETAIL_HIGHEST 100
#define NOISE_RULE_WEIGHT_MIN 100
#define NOISE_RULE_WEIGHT_MAX 100000
