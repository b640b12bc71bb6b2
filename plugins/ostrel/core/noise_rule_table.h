/* Written by scripts/calibrate-refocus-noise: for each mask radius (rows)
 * and noise level found by refocus_noise_level (columns), the noise weight
 * for a photograph with the reference detail (refocus_detail_level); the
 * weight is multiplied by (NOISE_RULE_DETAIL_REF / detail) to the power
 * NOISE_RULE_DETAIL_POWER and, for a detail below NOISE_RULE_DETAIL_KNEE,
 * by (NOISE_RULE_DETAIL_KNEE / detail) to the power
 * NOISE_RULE_DETAIL_KNEE_POWER, and kept within the measured weights
 * NOISE_RULE_WEIGHT_MIN and _MAX.  Fitted so that the fewest training
 * cases fall more than 0.5 dB of interior PSNR short of their best
 * weight (astronaut, coffee, rocket, motorcycle, camera, grass, gravel,
 * brick, coins, clock, cell, retina, immunohistochemistry, text, page,
 * astronaut/4, camera/4, coins/4, coffee/4;
 * 160 x 160 crops, 30 iterations, defaults otherwise).
 * Columns stand for added noise of standard deviation 0, 1, 2, 4, 8. */
#define NOISE_RULE_RADII 6
#define NOISE_RULE_LEVELS 5
static const float noise_rule_radii[NOISE_RULE_RADII] = { 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 9.0f };
static const float noise_rule_levels[NOISE_RULE_LEVELS] = { 0.424f, 1.144f, 2.096f, 4.035f, 7.950f };
static const float noise_rule_weights[NOISE_RULE_RADII][NOISE_RULE_LEVELS] = {
    { 398.1f, 3981.1f, 7943.3f, 25118.9f, 79432.8f },
    { 501.2f, 2511.9f, 7943.3f, 31622.8f, 79432.8f },
    { 316.2f, 1258.9f, 3162.3f, 15848.9f, 63095.7f },
    { 794.3f, 1584.9f, 3981.1f, 12589.3f, 63095.7f },
    { 158.5f, 794.3f, 1995.3f, 6309.6f, 19952.6f },
    { 1258.9f, 1584.9f, 6309.6f, 10000.0f, 31622.8f },
};
#define NOISE_RULE_DETAIL_REF 12.330
#define NOISE_RULE_DETAIL_POWER 1.5
#define NOISE_RULE_DETAIL_KNEE 5
#define NOISE_RULE_DETAIL_KNEE_POWER 4
#define NOISE_RULE_DETAIL_MIN 0.5
#define NOISE_RULE_WEIGHT_MIN 100
#define NOISE_RULE_WEIGHT_MAX 100000
/* The trial stage (refocus_noise_trial_weight): the weights the trials
 * try, and by mask radius and noise level the factor on
 * pilot ^ (1 - NOISE_RULE_TRIAL_SHARE) x best ^ NOISE_RULE_TRIAL_SHARE. */
#define NOISE_RULE_TRIALS 10
static const double noise_rule_trial_weights[NOISE_RULE_TRIALS] = { 100, 316, 1000, 3162, 10000, 31623, 100000, 316228, 1000000, 3162278 };
static const double noise_rule_trial_factors[NOISE_RULE_RADII][NOISE_RULE_LEVELS] = {
    { 0.3981, 0.3162, 0.3162, 0.4467, 0.3981 },
    { 0.3981, 0.3981, 0.3548, 0.3548, 0.3981 },
    { 0.5012, 0.4467, 0.5012, 0.3162, 0.3981 },
    { 0.3162, 0.5012, 0.5012, 0.5012, 0.4467 },
    { 0.631, 0.7079, 0.5012, 0.5623, 0.3548 },
    { 0.5623, 1.259, 0.5623, 0.631, 0.5623 },
};
#define NOISE_RULE_TRIAL_SHARE 1.25
