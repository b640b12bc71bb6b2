#!/bin/bash
# Refocus end to end: a 1-megapixel RGB layer refocused non-interactively
# with the default values inside gimp-console-2.10, beside ostrel-refocus on
# the same pixels in the same run.  The plug-in process is timed through a
# wrapper on the plug-in path (its whole life: protocol, transfers, shadow
# merge and computation); both report wall and CPU time and peak memory.
# OSTREL_BENCH_ITERATIONS (default 25) sets the iteration count of both
# runs; all other values are the defaults.  Runs from the project root with
# build/native built.
set -euo pipefail
tree=${TREE:-build/native}
plugin=$tree/plugins/ostrel/ostrel
tool=$tree/tools/ostrel-refocus
synth=$tree/tools/corvella-synth-photo
iterations=${OSTREL_BENCH_ITERATIONS:-25}
size=1024
for f in "$plugin" "$tool" "$synth"; do
  [ -x "$f" ] || { echo "40-ostrel-gimp: $f is not built (make native)" >&2; exit 1; }
done
gimp=${GIMP_CONSOLE:-$(command -v gimp-console-2.10 || true)}
[ -n "$gimp" ] || { echo "40-ostrel-gimp: gimp-console-2.10 not found" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/profile/under-test"
plugin_abs=$(realpath "$plugin")
cat > "$work/profile/under-test/ostrel" <<WRAP
#!/bin/sh
exec /usr/bin/time -a -o "$work/plugin-times" -f "%e %U %S %M" "$plugin_abs" "\$@"
WRAP
chmod +x "$work/profile/under-test/ostrel"
cat > "$work/profile/gimprc" <<RC
(plug-in-path "\${gimp_plug_in_dir}/plug-ins:$work/profile/under-test")
RC

"$synth" $size $size "$work/in.ppm"

# The tool: a fresh process, unseeded, the same values.
/usr/bin/time -o "$work/tool-times" -f "%e %U %S %M" \
  "$tool" --iterations "$iterations" "$work/in.ppm" "$work/tool.ppm" 2>/dev/null

# The plug-in inside GIMP on the same pixels.
script="(let* ((img (car (file-pnm-load RUN-NONINTERACTIVE \"$work/in.ppm\" \"in.ppm\")))
               (layer (car (gimp-image-get-active-layer img))))
          (ostrel RUN-NONINTERACTIVE img layer 6.0 0.0 0.0 0.0 100.0 0 30.0 1 3 $iterations 10)
          (file-pnm-save RUN-NONINTERACTIVE img layer \"$work/plugin.ppm\" \"plugin.ppm\" 1))"
if ! GIMP2_DIRECTORY="$work/profile" timeout -k 10 900 "$gimp" -i -d -f -n \
       -b "$script" -b '(gimp-quit 0)' < /dev/null > "$work/gimp.log" 2>&1; then
  grep -Ev 'Failed to save data|writable data folder|GeglBuffers? leaked|gegl_tile_cache_destroy|^\s*$' \
    "$work/gimp.log" >&2 || true
  echo "40-ostrel-gimp: the GIMP run failed" >&2
  exit 1
fi
[ -s "$work/plugin.ppm" ] || { echo "40-ostrel-gimp: GIMP wrote no result" >&2; exit 1; }

# The headers differ (comments); the raster is the last 3 bytes per pixel.
same=no
bytes=$((3 * size * size))
cmp -s <(tail -c "$bytes" "$work/plugin.ppm") <(tail -c "$bytes" "$work/tool.ppm") && same=yes
read -r t_wall t_user t_sys t_rss < "$work/tool-times"
read -r p_wall p_user p_sys p_rss < <(tail -n 1 "$work/plugin-times")
pixels=$((size * size))
awk -v tw="$t_wall" -v tu="$t_user" -v ts="$t_sys" -v tr="$t_rss" \
    -v pw="$p_wall" -v pu="$p_user" -v ps="$p_sys" -v pr="$p_rss" \
    -v n="$pixels" -v it="$iterations" -v same="$same" -v sz="$size" 'BEGIN {
  printf "ostrel-gimp: %dx%d RGB, defaults with %d iterations (same pixels as the tool: %s)\n", sz, sz, it, same
  printf "ostrel-gimp: ostrel-refocus  wall %7.2f s  cpu %7.2f s  peak %6.1f MB (%5.1f B/pixel)\n", tw, tu + ts, tr / 1024, tr * 1024 / n
  printf "ostrel-gimp: plug-in in GIMP wall %7.2f s  cpu %7.2f s  peak %6.1f MB (%5.1f B/pixel)\n", pw, pu + ps, pr / 1024, pr * 1024 / n
  rc = (tu + ts > 0 ? (pu + ps) / (tu + ts) : 0)
  printf "ostrel-gimp: plug-in / tool  wall %.3fx  cpu %.3fx  (target at most 1.15x)\n", (tw > 0 ? pw / tw : 0), rc
  printf "goal: plug-in time at most 1.15x the tool'"'"'s (cpu): %.3fx, %s\n", rc, (rc <= 1.15 ? "met" : "missed")
}'
[ "$same" = yes ] || { echo "40-ostrel-gimp: the plug-in's pixels differ from the tool's" >&2; exit 1; }
