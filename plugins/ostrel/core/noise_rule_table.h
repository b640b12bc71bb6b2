/* Written by scripts/calibrate-refocus-noise: for each mask radius (rows)
 * and noise level found by refocus_noise_level (columns), the noise weight
 * for a photograph with at least the reference detail (refocus_detail_level);
 * the weight is multiplied by (NOISE_RULE_DETAIL_REF / detail) to the power of the
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
    { 158.5f, 1000.0f, 3981.1f, 15848.9f, 63095.7f },
    { 251.2f, 1258.9f, 3162.3f, 10000.0f, 39810.7f },
    { 316.2f, 1258.9f, 3162.3f, 10000.0f, 31622.8f },
    { 316.2f, 1258.9f, 3162.3f, 10000.0f, 39810.7f },
    { 251.2f, 631.0f, 1000.0f, 6309.6f, 19952.6f },
    { 316.2f, 6309.6f, 6309.6f, 10000.0f, 25118.9f },
};
static const float noise_rule_detail_powers[NOISE_RULE_LEVELS] = { 2.50f, 5.00f, 5.00f, 5.00f, 6.00f };
#define NOISE_RULE_DETAIL_REF 7.674
#define NOISE_RULE_DETAIL_MIN 0.5
#define NOISE_RULE_DETAIL_LOWEST 1
#define NOISE_RULE_DETAIL_HIGHEST 1000
#define NOISE_RULE_WEIGHT_MIN 100
#define NOISE_RULE_WEIGHT_MAX 100000
