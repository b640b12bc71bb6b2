/* Written by scripts/calibrate-refocus-noise: for each mask radius (rows)
 * and noise level found by refocus_noise_level (columns), the noise weight
 * whose largest interior PSNR shortfall against the best weight of each
 * training photo is smallest (astronaut, coffee, rocket, motorcycle, camera;
 * 160 x 160 crops, 30 iterations, defaults otherwise).
 * Columns stand for added noise of standard deviation 0, 1, 2, 4, 8. */
#define NOISE_RULE_RADII 6
#define NOISE_RULE_LEVELS 5
static const float noise_rule_radii[NOISE_RULE_RADII] = { 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 9.0f };
static const float noise_rule_levels[NOISE_RULE_LEVELS] = { 0.427f, 1.155f, 2.098f, 3.983f, 7.782f };
static const float noise_rule_weights[NOISE_RULE_RADII][NOISE_RULE_LEVELS] = {
    { 100.0f, 1000.0f, 2000.0f, 10000.0f, 30000.0f },
    { 300.0f, 1000.0f, 2000.0f, 6000.0f, 30000.0f },
    { 300.0f, 1000.0f, 2000.0f, 6000.0f, 30000.0f },
    { 1000.0f, 1000.0f, 2000.0f, 6000.0f, 20000.0f },
    { 1000.0f, 1000.0f, 2000.0f, 6000.0f, 10000.0f },
    { 3000.0f, 3000.0f, 3000.0f, 6000.0f, 20000.0f },
};
