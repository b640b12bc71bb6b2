# Shared by the demo scripts: one gimp-console-2.10 batch run with a
# throwaway profile whose plug-in path holds the given freshly built plug-ins.
# Source it, then call the two functions below.

# gimp_batch_profile WORK PLUGIN...: makes WORK/profile for the plug-ins.
gimp_batch_profile() {
  local work=$1 p
  shift
  mkdir -p "$work/profile/plug-ins"
  for p in "$@"; do
    ln -s "$(realpath "$p")" "$work/profile/plug-ins/$(basename "$p")"
  done
  cat > "$work/profile/gimprc" <<EOG
(plug-in-path "\${gimp_plug_in_dir}/plug-ins:$work/profile/plug-ins")
EOG
}

# gimp_batch_run NAME WORK SCRIPT: runs the Script-Fu SCRIPT (at most 120 s)
# and quits; on failure shows GIMP's log and ends the caller with status 1.
gimp_batch_run() {
  local name=$1 work=$2 script=$3
  GIMP2_DIRECTORY="$work/profile" timeout -k 10 120 gimp-console-2.10 -i -d -f -n \
    -b "$script" -b '(gimp-quit 0)' < /dev/null > "$work/gimp.log" 2>&1 || {
    cat "$work/gimp.log"; echo "$name: the GIMP run failed" >&2; exit 1; }
}
